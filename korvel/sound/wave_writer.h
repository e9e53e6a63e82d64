// The WAV writer: a transform filter that turns a stream of WAVEFORMATEX audio samples into
// the bytes of a RIFF/WAVE file for a downstream writer, each output sample stamped with the
// byte position it belongs at, and writes the header through the downstream IStream when
// streaming stops.
#pragma once
#include "dshow/dshow.h"

namespace Korvel {

extern const CLSID CLSID_KorvelWaveWriter;

class K_CWaveWriterOutputPin : public K_CTransformOutputPin {
 public:
  K_CWaveWriterOutputPin(K_CTransformFilter* filter, HRESULT* result);
  HRESULT CheckMediaType(const K_CMediaType* type) override;
  // The pin's own type, not the upstream ones.
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
};

class K_CWaveWriterFilter : public K_CTransformFilter {
 public:
  K_CWaveWriterFilter(IUnknown* outer, HRESULT* result);

  HRESULT Transform(IMediaSample* input, IMediaSample* output) override;
  HRESULT CheckInputType(const K_CMediaType* type) override;
  HRESULT CheckTransform(const K_CMediaType* input, const K_CMediaType* output) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT GetMediaType(int position, K_CMediaType* type) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;
  HRESULT Receive(IMediaSample* sample) override;

  DWORD DataBytes() const { return dataBytes; }
  DWORD HeaderSize() const { return headerSize; }

 private:
  DWORD dataBytes = 0;
  DWORD headerSize = 0;
};

K_CUnknown* CreateWaveWriterFilter(IUnknown* outer, HRESULT* result);
// The factory-template entry of the filter (registered by nothing in the library).
extern const DSHOW_FACTORY_TEMPLATE WaveWriterTemplate;

}  // namespace Korvel
