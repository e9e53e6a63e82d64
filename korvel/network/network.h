// The WinSock message layer: accepted TCP connections exchange messages framed as a 32-bit
// length in the machine's own (little-endian) byte order followed by that many bytes. Every
// socket is in WSAAsyncSelect mode, so its events arrive at the network window as message
// 0x505; their handler accepts, receives into each connection's receive ring and sends
// everything queued in its send ring as one message.
//
// Whatever peers send, the work is bounded: no pass pumps the window (so stack use does not
// grow with the connections), a pass moves at most NETWORK_PASS_BYTES and a pump call stops
// dispatching after NETWORK_PUMP_BYTES, NETWORK_PUMP_MESSAGES or NETWORK_PUMP_MILLISECONDS (the
// rest waits in the window's queue for the next call); a connection holds at most
// the held limit each way (received and not yet taken, queued and not yet sent), and the
// receive ring grows with bytes that have arrived (to hold the whole of a long message, already
// counted under the budget, once its first megabyte has come).
//
// Received bytes are bounded by reading less, not by dropping peers: a message is read only
// once its whole length fits under the connection's held limit and under one receive budget
// shared by all connections (received bytes not yet taken plus the rest of the messages under
// way). A connection whose next message does not fit stops being read, so TCP slows its peer,
// and the pump reads it again once its owner (or another connection's) has taken messages.
// Only a single message longer than the limit is refused.
//
// A socket value is handed out again as soon as it is closed, while events of the closed
// socket may still wait in the window's queue. An accepted connection posts a marker behind
// them; events of its socket that come before the marker are an earlier connection's and are
// dropped, as are events of sockets no connection holds (with one log line per burst).
//
// Bringing the layer up is its owner's work: WinSock start, handle type 10 registered with a
// NETWORK_HANDLE_RECORD and TerminateNetworkHandle, a network window whose procedure hands
// 0x505 to DispatchSocketEvent and sets the window-closed flag when it is destroyed, the
// listening handle, the settings, and last the initialised flag. Until then every entry point
// stops at its first test.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdint>

#include "core/handles.h"
#include "core/ring_buffer.h"

enum {
  NETWORK_SOCKET_MESSAGE = WM_USER + 0x105,  // 0x505
  NETWORK_HEADER_SIZE = 4,                   // the length word before each message
  NETWORK_DEFAULT_HELD_LIMIT = 64 << 20,     // bytes a connection holds each way, unless set
  NETWORK_PASS_BYTES = 512 << 10,            // most bytes one receive or send pass moves
  NETWORK_PUMP_BYTES = 4 << 20,              // a pump call dispatches no more once passes moved this
  NETWORK_PUMP_MESSAGES = 256,               // most window messages one pump call dispatches
  NETWORK_PUMP_MILLISECONDS = 8,             // a pump call dispatches no more after this long
  NETWORK_DEFAULT_RECEIVE_BUDGET = 256 << 20,  // received bytes all connections hold, unless set
  NETWORK_ACCEPTS_PER_EVENT = 256,           // most connections one accept event takes in
  NETWORK_FRESH_SOCKET_EVENT = 0x8000,       // the marker's event word (no WinSock event uses it)
  NETWORK_UNKNOWN_BURST_MILLISECONDS = 1000,  // unknown-socket events this close belong to one burst
};

struct NETWORK_STATE {
  HANDLE_VALUE listenHandle;  // the handle whose socket accepts connections
  int initialised;
  HWND window;                // receives the socket events; pumped by PumpNetworkMessages
  int noFraming;              // 0: new connections are framed
  int noAutoDelete;           // 0: new connections get the auto-delete flag
  int windowClosed;
  HANDLE thread;              // optional network thread and its end handshake
  int threadEnded;
  int threadEndRequest;
  int heldLimit;        // most bytes a connection holds each way; 0: NETWORK_DEFAULT_HELD_LIMIT
  uint32_t movedBytes;  // bytes moved by all passes (wraps); the pump's budget counts them
  int pumpRunning;      // a pump entered from a window procedure the pump dispatched returns at once
  int wakePosted;       // a message waits in the window to wake the owner for work left to the pump
  int resumeSlot;       // the slot of the connection whose stopped pass the pump took up last
  int receiveBudget;    // most received bytes all connections hold; 0: NETWORK_DEFAULT_RECEIVE_BUDGET
  long long receiveCounted;  // the connections' counted bytes (received and not taken, plus coming)
  int markerSerial;          // the serial of the last fresh-socket marker posted
  int unknownBurst;          // unknown-socket events are arriving: the burst's line is written
  DWORD unknownEventTick;    // when the last of them came
  int acceptResume;          // an accept batch stopped at its bounds: the next pump goes on with it
  long long receiveStorage;  // bytes of storage of the receive rings, at the last pump
};

struct NETWORK_HANDLE_RECORD {
  HANDLE_HEAD head;
  int busy;             // while set, read and write events are only remembered
  int valid;            // 1 for a live connection
  int ipv6;
  int error;            // 1 after a fatal error: every later receive and send fails
  int connecting;
  int connected;
  int closeWord;        // read by the automatic delete; nothing here sets it to 1
  int acceptWords[2];   // set to 0 and 1 on accept; not read here
  int framed;
  int autoDelete;
  SOCKET socket;
  int bytesExpected;    // of the message being received; 0 = waiting for a length
  RING_BUFFER receiveRing;
  int messageSize;      // of the message being received
  int totalReceived;    // sum of the sizes of the complete messages received
  RING_BUFFER sendRing;
  uint32_t sendBytesLeft;  // of the outgoing message; the length word while that is being sent
  int headerUnsent;        // 0 to 3 bytes of the length word still to send
  unsigned char peerAddress4[4];   // network order
  unsigned short peerAddress6[8];  // network order
  int peerPort;                    // the address's 16-bit port, network order
  int readEventPending;
  int writeEventPending;
  int receiveRunning;   // a receive pass of this connection is under way
  int sendRunning;      // a send pass of this connection is under way
  unsigned char lengthBytes[NETWORK_HEADER_SIZE];  // the part of a length word received so far
  int lengthHeld;       // 0 to 3 bytes of it
  int sendResume;       // a send pass stopped at its byte limit: the next pump goes on with it
  int receiveWaiting;   // a receive stopped for want of room: the pump reads again once there is
  int messageWaiting;   // the current message's length has come, but the message does not fit yet
  int countedBytes;     // what this connection adds to the network state's receiveCounted
  int markerAwaited;    // serial of the fresh-socket marker still queued; 0: none
};

extern NETWORK_STATE NetworkState;

// Puts connections holding more than the held limit into error; with 1, deletes the
// connections in error (and closed auto-delete ones); goes on with sends stopped at their
// byte limit, with receives stopped for room once there is room and with an accept batch
// stopped at its bounds; then dispatches the waiting messages of the network window, up to the pump's
// bounds (the rest wait for the next call). -> 0.
int PumpNetworkMessages(int deleteClosed);
// One WSAAsyncSelect event (low word of lParam; error code in the high word) for the socket in
// wParam. -> 1; 0 when no network handle owns the socket (or the event is of an earlier
// connection of the socket); on FD_ACCEPT, 1 when a connection was accepted, else -1: the
// event takes in every connection waiting, up to NETWORK_ACCEPTS_PER_EVENT and the pump's time.
int DispatchSocketEvent(HWND window, UINT message, WPARAM socket, LPARAM event);
// -> 1 when a connection was accepted into a new handle, -1 otherwise.
int AcceptNetWork();
// Receives what has arrived (up to NETWORK_PASS_BYTES) into the connection: length words into
// its own state, data into the receive ring. A peer that has finished sending closes the
// connection as FD_CLOSE does. A message that does not fit yet is not read further (see
// above). -> 0, or -1 for an invalid, busy or re-entered handle, one in error, or a length
// beyond the held limit or the receive budget.
int RecvSocket(HANDLE_VALUE handle);
// Sends the send ring's bytes as one message, resuming where an earlier pass stopped, up to
// NETWORK_PASS_BYTES. -> 0, or -1 as RecvSocket (and for a queue beyond the held limit).
int SendSocket(HANDLE_VALUE handle);
// Logs the formatted text with the last socket error code. -> -1.
int LogNetworkError(const char* format, ...);
// Ends the connections, closes the network window (waiting a bounded time) and WinSock. -> 0.
int ShutDownNetwork();
// The terminate function of handle type 10: closes the socket and frees both rings.
int TerminateNetworkHandle(HANDLE_HEAD* record);
