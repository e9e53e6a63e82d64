#include "dshow/dshow_unknown.h"
#include "core/memory.h"
#include "core/winapi.h"

namespace Korvel {

K_CUnknown::K_CUnknown(const char* objectName, IUnknown* outer)
    : owner(outer != nullptr ? outer : &inner), objectName(objectName) {
  inner.self = this;
}

HRESULT STDMETHODCALLTYPE K_CUnknown::Inner::QueryInterface(REFIID riid, void** object) {
  return self->NonDelegatingQueryInterface(riid, object);
}
ULONG STDMETHODCALLTYPE K_CUnknown::Inner::AddRef() { return self->NonDelegatingAddRef(); }
ULONG STDMETHODCALLTYPE K_CUnknown::Inner::Release() { return self->NonDelegatingRelease(); }

K_CUnknown::~K_CUnknown() {}

HRESULT STDMETHODCALLTYPE K_CUnknown::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  // The inner unknown answers IUnknown with itself, so that an outer object holds it.
  if (riid == IID_IUnknown) return DShowGetInterface(&inner, object);
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE K_CUnknown::NonDelegatingAddRef() { return (ULONG)InterlockedIncrement(&referenceCount); }

ULONG STDMETHODCALLTYPE K_CUnknown::NonDelegatingRelease() {
  LONG count = InterlockedDecrement(&referenceCount);
  if (count == 0) {
    // A destructor that takes and drops a reference of its own must not delete twice.
    referenceCount = 1;
    delete this;
    return 0;
  }
  return (ULONG)count;
}

void* K_CUnknown::operator new(size_t size) noexcept { return AllocTracked(size, "dshow", __LINE__); }
void K_CUnknown::operator delete(void* pointer) noexcept { FreeTracked(pointer); }

HRESULT DShowGetInterface(IUnknown* unknown, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = unknown;
  unknown->AddRef();
  return S_OK;
}

void* DShowTaskAlloc(size_t size) {
  return WinApi.ole32.CoTaskMemAlloc != nullptr ? WinApi.ole32.CoTaskMemAlloc(size) : nullptr;
}

void DShowTaskFree(void* block) {
  if (block != nullptr && WinApi.ole32.CoTaskMemFree != nullptr) WinApi.ole32.CoTaskMemFree(block);
}

}  // namespace Korvel
