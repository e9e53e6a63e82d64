// shaderasm: the build's shader assembler, a Windows program run under Wine. It assembles
// shader assembly with the assembler of the system's shader compiler DLL (D3DAssemble of
// d3dcompiler_47 or _43, else D3DXAssembleShader of d3dx9_43, each loaded by name) and
// writes the byte code files and the two code tables the library embeds.
//
//   shaderasm [--out DIR SOURCE...] [--model-table OUT LIST] [--mix-table OUT [LIST]]
//
// --out: each SOURCE (x.psh / x.vsh) becomes DIR/x.pso / DIR/x.vso.
// --model-table: 0x4000 + 0x5100 entries of 6 u16 code sizes (vertex slots first, then
//   pixel slots), then the code blocks in slot order. LIST lines: "vs|ps FLAT-INDEX SOURCE"
//   (SOURCE relative to the list's folder; '#' starts a comment line).
// --mix-table: 64 entries of 4 u16 code sizes (512 bytes), then the code blocks in order.
//   LIST lines: "ENTRY SLOT SOURCE"; without a list the table has no code.
//
// Every pixel shader must run on a pixel shader 2.0 device (ps20_limits.h): one that declares
// a later model or exceeds ps_2_0's limits stops the build with the reason.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ps20_limits.h"

namespace {
// The result buffer of both assemblers: IUnknown followed by pointer and size.
struct CODE_BUFFER;
struct CODE_BUFFER_VTABLE {
  HRESULT(WINAPI* QueryInterface)(CODE_BUFFER*, const GUID*, void**);
  ULONG(WINAPI* AddRef)(CODE_BUFFER*);
  ULONG(WINAPI* Release)(CODE_BUFFER*);
  void*(WINAPI* GetBufferPointer)(CODE_BUFFER*);
  SIZE_T(WINAPI* GetBufferSize)(CODE_BUFFER*);
};
struct CODE_BUFFER {
  const CODE_BUFFER_VTABLE* vtable;
};

typedef HRESULT(WINAPI* ASSEMBLE_FN)(const void* data, SIZE_T size, const char* name, const void* defines,
                                     void* include, UINT flags, CODE_BUFFER** code, CODE_BUFFER** errors);
typedef HRESULT(WINAPI* D3DX_ASSEMBLE_FN)(const char* data, UINT size, const void* defines, void* include,
                                          DWORD flags, CODE_BUFFER** code, CODE_BUFFER** errors);

ASSEMBLE_FN assemble;
D3DX_ASSEMBLE_FN d3dxAssemble;

bool FindAssembler() {
  const char* compilers[] = {"d3dcompiler_47.dll", "d3dcompiler_43.dll"};
  for (const char* name : compilers) {
    HMODULE module = LoadLibraryA(name);
    if (module != nullptr && (assemble = (ASSEMBLE_FN)(void*)GetProcAddress(module, "D3DAssemble")) != nullptr)
      return true;
  }
  HMODULE module = LoadLibraryA("d3dx9_43.dll");
  if (module != nullptr)
    d3dxAssemble = (D3DX_ASSEMBLE_FN)(void*)GetProcAddress(module, "D3DXAssembleShader");
  return d3dxAssemble != nullptr;
}

bool ReadText(const std::string& path, std::string& text) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char buffer[4096];
  size_t n;
  text.clear();
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  fclose(f);
  return true;
}

bool WriteBytes(const std::string& path, const void* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = size == 0 || fwrite(data, 1, size, f) == size;
  return fclose(f) == 0 && ok;
}

// Assembles one source file; prints the assembler's messages on failure.
bool AssembleFile(const std::string& path, std::vector<uint8_t>& code) {
  std::string text;
  if (!ReadText(path, text)) {
    fprintf(stderr, "shaderasm: cannot read %s\n", path.c_str());
    return false;
  }
  CODE_BUFFER* result = nullptr;
  CODE_BUFFER* errors = nullptr;
  HRESULT hr = assemble != nullptr
                   ? assemble(text.data(), text.size(), path.c_str(), nullptr, nullptr, 0, &result, &errors)
                   : d3dxAssemble(text.data(), (UINT)text.size(), nullptr, nullptr, 0, &result, &errors);
  if (errors != nullptr) {
    if (FAILED(hr))
      fprintf(stderr, "%s: %.*s\n", path.c_str(), (int)errors->vtable->GetBufferSize(errors),
              (const char*)errors->vtable->GetBufferPointer(errors));
    errors->vtable->Release(errors);
  }
  if (FAILED(hr) || result == nullptr) {
    fprintf(stderr, "shaderasm: %s does not assemble (0x%08lx)\n", path.c_str(), (unsigned long)hr);
    return false;
  }
  const uint8_t* bytes = (const uint8_t*)result->vtable->GetBufferPointer(result);
  code.assign(bytes, bytes + result->vtable->GetBufferSize(result));
  result->vtable->Release(result);
  if (code.empty() || code.size() % 4 != 0) {
    fprintf(stderr, "shaderasm: %s gave no whole byte code\n", path.c_str());
    return false;
  }
  std::vector<uint32_t> words(code.size() / 4);
  memcpy(words.data(), code.data(), code.size());
  ps20::COUNTS counts;
  std::string refusal = ps20::Check(words.data(), words.size(), &counts);
  if (!refusal.empty()) {
    fprintf(stderr, "shaderasm: %s does not run on pixel shader 2.0: %s\n", path.c_str(), refusal.c_str());
    return false;
  }
  return true;
}

std::string Folder(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Stem(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// A code table: a head of u16 sizes, one per slot, then the code of every used slot in order.
bool WriteCodeTable(const std::string& out, size_t slots, const std::string& list, int fields) {
  std::vector<std::vector<uint8_t>> codes(slots);
  if (!list.empty()) {
    std::string text;
    if (!ReadText(list, text)) return fprintf(stderr, "shaderasm: cannot read %s\n", list.c_str()), false;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      start = end + 1;
      if (line.empty() || line[0] == '#' || line[0] == '\r') continue;
      char a[16] = {}, source[260] = {};
      long index = -1, second = -1;
      size_t slot;
      if (fields == 0) {  // model table: kind, flat index, source
        if (sscanf(line.c_str(), "%15s %ld %259s", a, &index, source) != 3) goto bad;
        if (strcmp(a, "vs") == 0 && index >= 0 && index < 0x4000 * 6) slot = (size_t)index;
        else if (strcmp(a, "ps") == 0 && index >= 0 && index < 0x5100 * 6) slot = 0x4000 * 6 + (size_t)index;
        else goto bad;
      } else {  // mix table: entry, slot, source
        if (sscanf(line.c_str(), "%ld %ld %259s", &index, &second, source) != 3) goto bad;
        if (index < 0 || index >= 64 || second < 0 || second >= 4) goto bad;
        slot = (size_t)index * 4 + (size_t)second;
      }
      if (!AssembleFile(Folder(list) + source, codes[slot])) return false;
      // The RGBA-mix pack's sizes are read as signed 16-bit values.
      if (codes[slot].size() > (fields == 0 ? 0xFFFFu : 0x7FFFu))
        return fprintf(stderr, "shaderasm: %s is too long\n", source), false;
      continue;
    bad:
      fprintf(stderr, "shaderasm: bad line in %s: %s\n", list.c_str(), line.c_str());
      return false;
    }
  }
  std::vector<uint8_t> table(slots * 2, 0);
  for (size_t i = 0; i < slots; i++) {
    table[i * 2] = (uint8_t)(codes[i].size() & 0xFF);
    table[i * 2 + 1] = (uint8_t)(codes[i].size() >> 8);
  }
  for (const auto& code : codes) table.insert(table.end(), code.begin(), code.end());
  if (!WriteBytes(out, table.data(), table.size())) return fprintf(stderr, "shaderasm: cannot write %s\n", out.c_str()), false;
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (!FindAssembler()) {
    fprintf(stderr, "shaderasm: no shader assembler DLL (d3dcompiler_47/43, d3dx9_43)\n");
    return 1;
  }
  std::string outDir;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    if (arg == "--out" && i + 1 < argc) {
      outDir = argv[++i];
    } else if (arg == "--model-table" && i + 2 < argc) {
      if (!WriteCodeTable(argv[i + 1], (0x4000 + 0x5100) * 6, argv[i + 2], 0)) return 1;
      i += 2;
      outDir.clear();
    } else if (arg == "--mix-table" && i + 1 < argc) {
      std::string list = i + 2 < argc && strncmp(argv[i + 2], "--", 2) != 0 ? argv[i + 2] : "";
      if (!WriteCodeTable(argv[i + 1], 64 * 4, list, 1)) return 1;
      i += list.empty() ? 1 : 2;
      outDir.clear();
    } else if (!outDir.empty() && arg.compare(0, 2, "--") != 0) {
      std::vector<uint8_t> code;
      if (!AssembleFile(arg, code)) return 1;
      bool vertex = arg.size() > 4 && arg.compare(arg.size() - 4, 4, ".vsh") == 0;
      std::string out = outDir + "/" + Stem(arg) + (vertex ? ".vso" : ".pso");
      if (!WriteBytes(out, code.data(), code.size())) return fprintf(stderr, "shaderasm: cannot write %s\n", out.c_str()), 1;
    } else {
      fprintf(stderr, "usage: shaderasm [--out DIR SOURCE...] [--model-table OUT LIST] [--mix-table OUT [LIST]]\n");
      return 2;
    }
  }
  return 0;
}
