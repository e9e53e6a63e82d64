// Media samples: a piece of an allocator's buffer with times, flags and an optional media type.
#include <cstring>
#include <cstddef>
#include "dshow/dshow_allocator.h"
#include "core/memory.h"

namespace Korvel {

K_CMediaSample::K_CMediaSample(const char* objectName, K_CBaseAllocator* allocator, HRESULT* result, BYTE* buffer,
                               LONG length)
    : allocator(allocator), buffer(buffer), bufferSize(length), actualLength(length) {
  (void)objectName;
  (void)result;
}

K_CMediaSample::~K_CMediaSample() { DeleteMediaType(mediaType); }

void* K_CMediaSample::operator new(size_t size) noexcept { return AllocTracked(size, "dshow sample", __LINE__); }
void K_CMediaSample::operator delete(void* pointer) noexcept { FreeTracked(pointer); }

HRESULT STDMETHODCALLTYPE K_CMediaSample::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IMediaSample || riid == IID_IMediaSample2) {
    *object = static_cast<IMediaSample2*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE K_CMediaSample::AddRef() { return (ULONG)InterlockedIncrement(&referenceCount); }

ULONG STDMETHODCALLTYPE K_CMediaSample::Release() {
  LONG count = InterlockedDecrement(&referenceCount);
  if (count != 0) return (ULONG)count;
  // Back to the free list clean: nothing of this delivery carries over to the next.
  flags = 0;
  typeSpecificFlags = 0;
  streamId = AM_STREAM_MEDIA;
  mediaTimeValid = false;
  DeleteMediaType(mediaType);
  mediaType = nullptr;
  if (allocator != nullptr) allocator->ReleaseBuffer(this);
  else delete this;
  return 0;
}

HRESULT K_CMediaSample::SetPointer(BYTE* newBuffer, LONG length) {
  if (length < 0) return VFW_E_BUFFER_OVERFLOW;
  buffer = newBuffer;
  bufferSize = length;
  actualLength = length;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CMediaSample::GetPointer(BYTE** result) {
  if (result == nullptr) return E_POINTER;
  *result = buffer;
  return S_OK;
}

long STDMETHODCALLTYPE K_CMediaSample::GetSize() { return bufferSize; }

HRESULT STDMETHODCALLTYPE K_CMediaSample::GetTime(REFERENCE_TIME* startTime, REFERENCE_TIME* stopTime) {
  if (startTime == nullptr || stopTime == nullptr) return E_POINTER;
  if ((flags & AM_SAMPLE_TIMEVALID) == 0) return VFW_E_SAMPLE_TIME_NOT_SET;
  *startTime = start;
  if ((flags & AM_SAMPLE_STOPVALID) == 0) {
    *stopTime = start + 1;
    return VFW_S_NO_STOP_TIME;
  }
  *stopTime = stop;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CMediaSample::SetTime(REFERENCE_TIME* startTime, REFERENCE_TIME* stopTime) {
  flags &= ~(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID);
  if (startTime == nullptr) return S_OK;
  start = *startTime;
  flags |= AM_SAMPLE_TIMEVALID;
  if (stopTime != nullptr) {
    stop = *stopTime;
    flags |= AM_SAMPLE_STOPVALID;
  }
  return S_OK;
}

void K_CMediaSample::SetFlag(DWORD flag, BOOL on) {
  if (on) flags |= flag;
  else flags &= ~flag;
}

HRESULT STDMETHODCALLTYPE K_CMediaSample::IsSyncPoint() { return TestFlag(AM_SAMPLE_SPLICEPOINT); }
HRESULT STDMETHODCALLTYPE K_CMediaSample::SetSyncPoint(BOOL value) {
  SetFlag(AM_SAMPLE_SPLICEPOINT, value);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE K_CMediaSample::IsPreroll() { return TestFlag(AM_SAMPLE_PREROLL); }
HRESULT STDMETHODCALLTYPE K_CMediaSample::SetPreroll(BOOL value) {
  SetFlag(AM_SAMPLE_PREROLL, value);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE K_CMediaSample::IsDiscontinuity() { return TestFlag(AM_SAMPLE_DATADISCONTINUITY); }
HRESULT STDMETHODCALLTYPE K_CMediaSample::SetDiscontinuity(BOOL value) {
  SetFlag(AM_SAMPLE_DATADISCONTINUITY, value);
  return S_OK;
}

long STDMETHODCALLTYPE K_CMediaSample::GetActualDataLength() { return actualLength; }

HRESULT STDMETHODCALLTYPE K_CMediaSample::SetActualDataLength(long length) {
  if (length < 0 || length > bufferSize) return VFW_E_BUFFER_OVERFLOW;
  actualLength = length;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CMediaSample::GetMediaType(AM_MEDIA_TYPE** type) {
  if (type == nullptr) return E_POINTER;
  *type = nullptr;
  if ((flags & AM_SAMPLE_TYPECHANGED) == 0 || mediaType == nullptr) return S_FALSE;
  *type = CreateMediaType(mediaType);
  return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE K_CMediaSample::SetMediaType(AM_MEDIA_TYPE* type) {
  DeleteMediaType(mediaType);
  mediaType = nullptr;
  flags &= ~AM_SAMPLE_TYPECHANGED;
  if (type == nullptr) return S_OK;
  mediaType = CreateMediaType(type);
  if (mediaType == nullptr) return E_OUTOFMEMORY;
  flags |= AM_SAMPLE_TYPECHANGED;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CMediaSample::GetMediaTime(LONGLONG* startTime, LONGLONG* endTime) {
  if (startTime == nullptr || endTime == nullptr) return E_POINTER;
  if (!mediaTimeValid) return VFW_E_MEDIA_TIME_NOT_SET;
  *startTime = mediaStart;
  *endTime = mediaEnd;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CMediaSample::SetMediaTime(LONGLONG* startTime, LONGLONG* endTime) {
  if (startTime == nullptr) {
    mediaTimeValid = false;
    return S_OK;
  }
  if (endTime == nullptr) return E_POINTER;
  mediaStart = *startTime;
  mediaEnd = *endTime;
  mediaTimeValid = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CMediaSample::GetProperties(DWORD size, BYTE* properties) {
  if (properties == nullptr) return E_POINTER;
  if (size > sizeof(AM_SAMPLE2_PROPERTIES)) return E_INVALIDARG;
  AM_SAMPLE2_PROPERTIES all;
  all.cbData = size;
  all.dwTypeSpecificFlags = typeSpecificFlags;
  all.dwSampleFlags = flags;
  all.lActual = actualLength;
  all.tStart = start;
  all.tStop = stop;
  all.dwStreamId = streamId;
  all.pMediaType = (flags & AM_SAMPLE_TYPECHANGED) != 0 ? mediaType : nullptr;
  all.pbBuffer = buffer;
  all.cbBuffer = bufferSize;
  memcpy(properties, &all, size);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE K_CMediaSample::SetProperties(DWORD size, const BYTE* properties) {
  if (properties == nullptr) return E_POINTER;
  if (size > sizeof(AM_SAMPLE2_PROPERTIES) || size < offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId)) return E_INVALIDARG;
  AM_SAMPLE2_PROPERTIES given = {};
  memcpy(&given, properties, size);
  if (given.cbData != size) return E_INVALIDARG;
  if (size >= offsetof(AM_SAMPLE2_PROPERTIES, cbBuffer) + sizeof(LONG) &&
      (given.pbBuffer != buffer || given.cbBuffer != bufferSize))
    return E_INVALIDARG;
  if (given.lActual < 0 || given.lActual > bufferSize) return VFW_E_BUFFER_OVERFLOW;
  if (size >= offsetof(AM_SAMPLE2_PROPERTIES, pMediaType) + sizeof(AM_MEDIA_TYPE*)) {
    HRESULT hr = SetMediaType((given.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0 ? given.pMediaType : nullptr);
    if (FAILED(hr)) return hr;
  }
  if (size >= offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId) + sizeof(DWORD)) streamId = given.dwStreamId;
  DWORD typeFlag = flags & AM_SAMPLE_TYPECHANGED;
  if (size < offsetof(AM_SAMPLE2_PROPERTIES, pMediaType) + sizeof(AM_MEDIA_TYPE*))
    flags = (given.dwSampleFlags & ~AM_SAMPLE_TYPECHANGED) | typeFlag;
  else flags = given.dwSampleFlags;
  typeSpecificFlags = given.dwTypeSpecificFlags;
  actualLength = given.lActual;
  start = given.tStart;
  stop = given.tStop;
  if (mediaType == nullptr) flags &= ~AM_SAMPLE_TYPECHANGED;
  return S_OK;
}

}  // namespace Korvel
