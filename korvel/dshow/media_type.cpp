// Media types: copies with their own format blocks in COM task memory, comparison and the
// partial matches used while pins negotiate.
#include <cstring>
#include "dshow/dshow_unknown.h"

namespace Korvel {

void FreeMediaTypeFields(AM_MEDIA_TYPE* type) {
  if (type->cbFormat != 0 || type->pbFormat != nullptr) DShowTaskFree(type->pbFormat);
  type->cbFormat = 0;
  type->pbFormat = nullptr;
  if (type->pUnk != nullptr) {
    type->pUnk->Release();
    type->pUnk = nullptr;
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return;
  FreeMediaTypeFields(type);
  DShowTaskFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  *target = *source;
  if (source->cbFormat != 0 && source->pbFormat != nullptr) {
    target->pbFormat = (BYTE*)DShowTaskAlloc(source->cbFormat);
    if (target->pbFormat == nullptr) {
      target->cbFormat = 0;
      target->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
  } else {
    target->cbFormat = 0;
    target->pbFormat = nullptr;
  }
  if (target->pUnk != nullptr) target->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
  AM_MEDIA_TYPE* type = (AM_MEDIA_TYPE*)DShowTaskAlloc(sizeof(AM_MEDIA_TYPE));
  if (type == nullptr) return nullptr;
  if (CopyMediaType(type, source) != S_OK) {
    DShowTaskFree(type);
    return nullptr;
  }
  return type;
}

K_CMediaType::K_CMediaType() : AM_MEDIA_TYPE() { InitMediaType(); }

K_CMediaType::K_CMediaType(const GUID* majorType) : AM_MEDIA_TYPE() {
  InitMediaType();
  if (majorType != nullptr) majortype = *majorType;
}

K_CMediaType::K_CMediaType(const K_CMediaType& source) : AM_MEDIA_TYPE() {
  InitMediaType();
  Set(source);
}

K_CMediaType& K_CMediaType::operator=(const K_CMediaType& source) {
  if (this != &source) Set(source);
  return *this;
}

K_CMediaType::~K_CMediaType() { FreeMediaTypeFields(this); }

HRESULT K_CMediaType::Set(const AM_MEDIA_TYPE& source) {
  if (&source == this) return S_OK;
  FreeMediaTypeFields(this);
  HRESULT hr = CopyMediaType(this, &source);
  if (FAILED(hr)) InitMediaType();
  return hr;
}

void K_CMediaType::InitMediaType() {
  FreeMediaTypeFields(this);
  majortype = GUID_NULL;
  subtype = GUID_NULL;
  formattype = GUID_NULL;
  bFixedSizeSamples = TRUE;
  bTemporalCompression = FALSE;
  lSampleSize = 1;
}

BYTE* K_CMediaType::ReallocFormatBuffer(ULONG length) {
  if (length == cbFormat && pbFormat != nullptr) return pbFormat;
  BYTE* format = (BYTE*)DShowTaskAlloc(length);
  if (format == nullptr) return nullptr;
  if (pbFormat != nullptr) memcpy(format, pbFormat, cbFormat < length ? cbFormat : length);
  DShowTaskFree(pbFormat);
  pbFormat = format;
  cbFormat = length;
  return format;
}

bool K_CMediaType::SetFormat(const BYTE* format, ULONG length) {
  if (length == 0) {
    ResetFormatBuffer();
    return true;
  }
  if (ReallocFormatBuffer(length) == nullptr) return false;
  memcpy(pbFormat, format, length);
  return true;
}

void K_CMediaType::ResetFormatBuffer() {
  DShowTaskFree(pbFormat);
  pbFormat = nullptr;
  cbFormat = 0;
}

bool K_CMediaType::IsPartiallySpecified() const {
  return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}

bool K_CMediaType::MatchesPartial(const AM_MEDIA_TYPE* partial) const {
  if (partial->majortype != GUID_NULL && partial->majortype != majortype) return false;
  if (partial->subtype != GUID_NULL && partial->subtype != subtype) return false;
  if (partial->formattype != GUID_NULL) {
    if (partial->formattype != formattype || partial->cbFormat != cbFormat) return false;
    if (cbFormat != 0 && memcmp(partial->pbFormat, pbFormat, cbFormat) != 0) return false;
  }
  return true;
}

bool K_CMediaType::operator==(const AM_MEDIA_TYPE& other) const {
  if (majortype != other.majortype || subtype != other.subtype || formattype != other.formattype) return false;
  if (cbFormat != other.cbFormat) return false;
  return cbFormat == 0 || memcmp(pbFormat, other.pbFormat, cbFormat) == 0;
}

}  // namespace Korvel
