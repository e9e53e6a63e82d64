// COM plumbing of the DirectShow filter layer: the non-delegating unknown that every filter,
// pin, allocator and pass-through object is built on (aggregation by an outer object), the
// lock guard, the media-type record with its format block, and the factory-template record.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <uuids.h>
#include <vfwmsgs.h>
#include <evcode.h>

namespace Korvel {

// The inner unknown of an object that may be aggregated: an outer object holds it and
// reaches the object's interfaces through it; the object's own interfaces forward their
// IUnknown calls to the owner (the outer object, or this one when not aggregated).
struct K_INonDelegatingUnknown {
  virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

class K_CUnknown : public K_INonDelegatingUnknown {
 public:
  // The object starts with no reference: whoever keeps it takes the first.
  K_CUnknown(const char* objectName, IUnknown* outer);
  virtual ~K_CUnknown();
  K_CUnknown(const K_CUnknown&) = delete;
  K_CUnknown& operator=(const K_CUnknown&) = delete;

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
  ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

  IUnknown* GetOwner() const { return owner; }
  // The non-delegating unknown as a plain IUnknown, for an outer object or a caller of
  // IUnknown (a separate object, so that no pointer is cast between unrelated classes).
  IUnknown* InnerUnknown() { return &inner; }
  const char* ObjectName() const { return objectName; }
  // Every object of the layer lives in the library's tracked heap.
  static void* operator new(size_t size) noexcept;  // null when out of memory
  static void operator delete(void* pointer) noexcept;

 protected:
  volatile LONG referenceCount = 0;

 private:
  struct Inner : IUnknown {
    K_CUnknown* self;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
  } inner;
  IUnknown* owner;
  const char* objectName;
};

// The IUnknown of an interface implemented by a K_CUnknown: forwarded to the owner.
#define K_DECLARE_IUNKNOWN                                                                       \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {                \
    return GetOwner()->QueryInterface(riid, object);                                             \
  }                                                                                              \
  ULONG STDMETHODCALLTYPE AddRef() override { return GetOwner()->AddRef(); }                     \
  ULONG STDMETHODCALLTYPE Release() override { return GetOwner()->Release(); }

// Hands out an interface pointer with a new reference.
HRESULT DShowGetInterface(IUnknown* unknown, void** object);

// Holds a critical section for the life of a scope.
class DShowAutoLock {
 public:
  explicit DShowAutoLock(CRITICAL_SECTION* lock) : lock(lock) { EnterCriticalSection(lock); }
  ~DShowAutoLock() { LeaveCriticalSection(lock); }
  DShowAutoLock(const DShowAutoLock&) = delete;
  DShowAutoLock& operator=(const DShowAutoLock&) = delete;

 private:
  CRITICAL_SECTION* lock;
};

// Media-type blocks handed across COM (format blocks and whole records) live in COM task
// memory, since the receiver frees them with CoTaskMemFree; both come from the run-time table.
void* DShowTaskAlloc(size_t size);
void DShowTaskFree(void* block);
// Releases the format block and the format object of a media type and clears them.
void FreeMediaTypeFields(AM_MEDIA_TYPE* type);
// Frees a media type record taken from COM task memory, with its fields.
void DeleteMediaType(AM_MEDIA_TYPE* type);
// Copies a media type with its own format block: S_OK, or E_OUTOFMEMORY (target left empty).
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// A copy in COM task memory, or null.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);

// A media type that owns its format block. A fresh one has every GUID null, fixed-size
// samples of 1 byte and no format.
class K_CMediaType : public AM_MEDIA_TYPE {
 public:
  K_CMediaType();
  explicit K_CMediaType(const GUID* majorType);
  K_CMediaType(const K_CMediaType& source);
  K_CMediaType& operator=(const K_CMediaType& source);
  ~K_CMediaType();

  // Replaces this type with a copy of the source: S_OK or E_OUTOFMEMORY.
  HRESULT Set(const AM_MEDIA_TYPE& source);
  // Back to a fresh type.
  void InitMediaType();
  // A format block of the given size (old contents kept up to that size), or null.
  BYTE* ReallocFormatBuffer(ULONG length);
  // Copies the given bytes as the format block; false when out of memory.
  bool SetFormat(const BYTE* format, ULONG length);
  void ResetFormatBuffer();
  // A major type is known.
  bool IsValid() const { return majortype != GUID_NULL; }
  // The major type, the subtype or the format type is still open.
  bool IsPartiallySpecified() const;
  // This type matches a partial type: its null GUIDs match anything.
  bool MatchesPartial(const AM_MEDIA_TYPE* partial) const;
  bool operator==(const AM_MEDIA_TYPE& other) const;
  bool operator!=(const AM_MEDIA_TYPE& other) const { return !(*this == other); }
};
static_assert(sizeof(K_CMediaType) == sizeof(AM_MEDIA_TYPE), "a media type is handed out as AM_MEDIA_TYPE");

// Registration data of a filter class, as a program registering its filters would give it
// to the filter mapper, and the factory-template entry that names a filter's creator.
struct DSHOW_FILTER_SETUP {
  const CLSID* clsid;
  const WCHAR* name;
  DWORD merit;
  UINT pinCount;
  const REGFILTERPINS* pins;
};
typedef K_CUnknown* (*DSHOW_CREATE_FUNCTION)(IUnknown* outer, HRESULT* result);
typedef void (*DSHOW_INIT_FUNCTION)(BOOL loading, const CLSID* clsid);
struct DSHOW_FACTORY_TEMPLATE {
  const WCHAR* name;
  const CLSID* clsid;
  DSHOW_CREATE_FUNCTION create;
  DSHOW_INIT_FUNCTION init;  // null: none
  const DSHOW_FILTER_SETUP* setup;
};

}  // namespace Korvel
