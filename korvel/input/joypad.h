// Joypads: up to 16 pads read through XInput, DirectInput or the winmm joystick functions,
// all presented as the DirectInput joystick state (axes -1000 to 1000, dead zone applied)
// and as a word of input bits; and their vibration, advanced once per pump pass.
#pragma once
#include <windows.h>

#include "input/dinput_layer.h"

enum {
  JOYPAD_MAX = 16,
  JOYPAD_INPUT_BITS = 32,
  JOYPAD_DEAD_ZONE = 22937,  // 0.35 in 1/65536
  JOYPAD_WITH_KEYBOARD = 0x1000,
};

// The raw XInput state (the layout of XINPUT_STATE).
struct XINPUT_PAD_STATE {
  DWORD packetNumber;
  WORD buttons;
  BYTE leftTrigger, rightTrigger;
  SHORT thumbLX, thumbLY, thumbRX, thumbRY;
};

// The XInput motor speeds (the layout of XINPUT_VIBRATION).
struct XINPUT_MOTOR_SPEEDS {
  WORD left, right;
};

struct JOYPAD_STATE {
  int xinputIndex;  // 0-3, or -1 for a DirectInput or winmm pad
  XINPUT_PAD_STATE raw;
  IDirectInputDevice2A* device;  // the version 7 and 8 devices share these methods
  IDirectInputEffect* constantForce;
  IDirectInputEffect* sine;
  HANDLE event;
  DIJOYSTATE state;
  int hasZAndR;
  int lastReadTick;
  // Vibration.
  int playing;
  int power;     // 0-10000
  int duration;  // ms, negative = endless
  int played;
  int lastTick;
  int motorA;  // left motor / constant-force effect running
  int motorB;  // right motor / sine effect running
  char instanceName[260];
  char productName[260];
  int deadZone;
};

struct JOYPAD_TABLE {
  JOYPAD_STATE pads[JOYPAD_MAX];
  int count;
  int winmm;  // pads read through the winmm joystick functions
};

// Per pad and input bit, four scan codes (0 or below: none); kept across input restarts.
struct KEY_TO_PAD_MAP {
  int codes[JOYPAD_MAX][JOYPAD_INPUT_BITS][4];
  int ready;
};

extern JOYPAD_TABLE Joypads;
extern KEY_TO_PAD_MAP KeyToPadMap;

int SetUpJoypads();
int SetUpWinmmJoypads();
BOOL AddDirectInputJoypad(const DIDEVICEINSTANCEA* instance);
int ReleaseJoypads();
int ReacquireJoypads();
int InitKeyToPadMap();
int ReadJoypadState(int index);
int ReadJoypadInputBits(int pad);
int StopJoypadMotor(int pad);
int UpdateJoypadVibrationTimers();
int ApplyJoypadVibration();
// Starts a vibration on pad (from 1): power 0-10000, duration in ms (negative: endless).
int StartJoypadVibration(int pad, int power, int duration);
int GetJoypadCount();

// The conversions of the presented state, for the readers and their tests.
int ConvertWinmmAxis(DWORD position, int deadZone);
int ConvertThumbAxis(int value, int deadZone);
int ConvertTriggers(int left, int right, int deadZone);
DWORD ConvertDirectionPad(WORD buttons);
XINPUT_MOTOR_SPEEDS ComputeMotorSpeeds(int playing, int power);
