// The WAV writer filter and its output pin.
#include "sound/wave_writer.h"

#include <cstring>

#include "core/memory.h"
#include "sound/wave_format.h"

namespace Korvel {

const CLSID CLSID_KorvelWaveWriter = {0x3C78B8E2, 0x6C4D, 0x11D1, {0xAD, 0xE2, 0x00, 0x00, 0xF8, 0x75, 0x4B, 0x99}};

namespace {
const DSHOW_FILTER_SETUP kWaveWriterSetup = {&CLSID_KorvelWaveWriter, L"WAV Dest", MERIT_DO_NOT_USE, 0, nullptr};
}  // namespace

const DSHOW_FACTORY_TEMPLATE WaveWriterTemplate = {L"WAV Dest", &CLSID_KorvelWaveWriter, CreateWaveWriterFilter,
                                                   nullptr, &kWaveWriterSetup};

// ---- output pin ----

K_CWaveWriterOutputPin::K_CWaveWriterOutputPin(K_CTransformFilter* filter, HRESULT* result)
    : K_CTransformOutputPin(nullptr, filter, result, L"Out") {}

HRESULT K_CWaveWriterOutputPin::CheckMediaType(const K_CMediaType* type) {
  return type->majortype == MEDIATYPE_Stream && type->subtype == MEDIASUBTYPE_WAVE ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE K_CWaveWriterOutputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  return K_CBasePin::EnumMediaTypes(types);
}

// ---- filter ----

K_CWaveWriterFilter::K_CWaveWriterFilter(IUnknown* outer, HRESULT* result)
    : K_CTransformFilter(nullptr, outer, CLSID_KorvelWaveWriter) {
  HRESULT hr = S_OK;
  input = new K_CTransformInputPin(nullptr, this, &hr, L"In");
  if (input == nullptr) hr = E_OUTOFMEMORY;
  if (SUCCEEDED(hr)) {
    output = new K_CWaveWriterOutputPin(this, &hr);
    if (output == nullptr) hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    delete output;
    output = nullptr;
    delete input;
    input = nullptr;
  }
  if (result != nullptr) *result = hr;
}

HRESULT K_CWaveWriterFilter::CheckInputType(const K_CMediaType* type) {
  return type->formattype == FORMAT_WaveFormatEx ? S_OK : S_FALSE;
}

HRESULT K_CWaveWriterFilter::CheckTransform(const K_CMediaType* inputType, const K_CMediaType* outputType) {
  (void)outputType;
  HRESULT hr = CheckInputType(inputType);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT K_CWaveWriterFilter::GetMediaType(int position, K_CMediaType* type) {
  if (position != 0) return VFW_S_NO_MORE_ITEMS;
  if (type == nullptr) return E_POINTER;
  type->InitMediaType();
  type->majortype = MEDIATYPE_Stream;
  type->subtype = MEDIASUBTYPE_WAVE;
  return S_OK;
}

HRESULT K_CWaveWriterFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (input == nullptr || !input->IsConnected()) return E_UNEXPECTED;
  if (allocator == nullptr || request == nullptr) return E_POINTER;
  IMemAllocator* inputAllocator = nullptr;
  HRESULT hr = input->GetAllocator(&inputAllocator);
  if (FAILED(hr)) return hr;
  ALLOCATOR_PROPERTIES inputProperties = {};
  hr = inputAllocator->GetProperties(&inputProperties);
  inputAllocator->Release();
  if (FAILED(hr)) return hr;
  request->cBuffers = 1;
  request->cbAlign = 1;
  request->cbBuffer = inputProperties.cbBuffer;
  ALLOCATOR_PROPERTIES actual;
  hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer) return E_FAIL;
  return S_OK;
}

HRESULT K_CWaveWriterFilter::StartStreaming() {
  headerSize = input->CurrentMediaType().cbFormat + WAVE_HEADER_BYTES;
  dataBytes = 0;
  return S_OK;
}

HRESULT K_CWaveWriterFilter::Receive(IMediaSample* sample) {
  DWORD before = dataBytes;
  HRESULT hr = K_CTransformFilter::Receive(sample);
  if (hr != S_OK) dataBytes = before;
  return hr;
}

HRESULT K_CWaveWriterFilter::Transform(IMediaSample* in, IMediaSample* out) {
  if (in == nullptr || out == nullptr) return E_POINTER;
  BYTE* source = nullptr;
  BYTE* target = nullptr;
  in->GetPointer(&source);
  out->GetPointer(&target);
  long length = in->GetActualDataLength();
  // Never more than the output buffer holds.
  if (length > out->GetSize()) return E_FAIL;
  if (length > 0) memcpy(target, source, (size_t)length);
  REFERENCE_TIME start, stop;
  if (in->GetTime(&start, &stop) == S_OK) out->SetTime(&start, &stop);
  LONGLONG mediaStart, mediaEnd;
  if (in->GetMediaTime(&mediaStart, &mediaEnd) == S_OK) out->SetMediaTime(&mediaStart, &mediaEnd);
  AM_MEDIA_TYPE* type = nullptr;
  if (in->GetMediaType(&type) == S_OK && type != nullptr) {
    out->SetMediaType(type);
    DeleteMediaType(type);
  }
  out->SetActualDataLength(length);

  DWORD n = (DWORD)out->GetActualDataLength();
  if ((uint64_t)dataBytes + headerSize + n > 0xFFFFFFFFull) return E_FAIL;
  REFERENCE_TIME fileStart = (REFERENCE_TIME)dataBytes + headerSize;
  REFERENCE_TIME fileStop = fileStart + n;
  out->SetTime(&fileStart, &fileStop);
  dataBytes += n;
  return S_OK;
}

HRESULT K_CWaveWriterFilter::StopStreaming() {
  if (output == nullptr || !output->IsConnected()) return E_FAIL;
  IStream* stream = nullptr;
  HRESULT hr = output->GetConnected()->QueryInterface(IID_IStream, (void**)&stream);
  if (FAILED(hr)) return hr;
  const K_CMediaType& type = input->CurrentMediaType();
  DWORD formatSize = type.cbFormat;
  BYTE* header = static_cast<BYTE*>(AllocTrackedZeroed(headerSize, "wave header", __LINE__));
  if (header == nullptr || headerSize != formatSize + WAVE_HEADER_BYTES) {
    FreeTracked(header);
    stream->Release();
    return E_OUTOFMEMORY;
  }
  WriteWaveFileHeader(header, type.pbFormat, formatSize, dataBytes);
  LARGE_INTEGER zero = {};
  hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (SUCCEEDED(hr)) hr = stream->Write(header, headerSize, nullptr);
  FreeTracked(header);
  stream->Release();
  return hr;
}

K_CUnknown* CreateWaveWriterFilter(IUnknown* outer, HRESULT* result) {
  HRESULT hr = S_OK;
  K_CWaveWriterFilter* filter = new K_CWaveWriterFilter(outer, &hr);
  if (filter == nullptr) return nullptr;
  if (result != nullptr) *result = hr;
  return filter;
}

}  // namespace Korvel
