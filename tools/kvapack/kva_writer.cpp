#include "kva_writer.h"

#include <cstring>

#include "file/kva_format.h"
#include "kva_lz_encode.h"

namespace {
struct Node {
  std::string name;
  bool directory = false;
  const KVA_WRITER_ENTRY* source = nullptr;
  std::vector<int> children;
  uint64_t time = 0;
};

int IsWriterLeadByte(unsigned char byte, int codePageClass) {
  if (codePageClass >= 2) return byte >= 0x80 ? 1 : 0;
  return ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) ? 1 : 0;
}

void Put(std::vector<uint8_t>& out, size_t at, const void* data, size_t size) {
  if (out.size() < at + size) out.resize(at + size);
  memcpy(out.data() + at, data, size);
}

// Splits a path into components at '/' and '\' (double-byte aware), dropping empty ones.
std::vector<std::string> SplitPath(const std::string& path, int codePageClass) {
  std::vector<std::string> parts;
  std::string current;
  for (size_t i = 0; i < path.size(); i++) {
    unsigned char c = (unsigned char)path[i];
    if (IsWriterLeadByte(c, codePageClass) && i + 1 < path.size()) {
      current += path.substr(i, 2);
      i++;
    } else if (c == '/' || c == '\\') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += (char)c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// The name entry: units, check, upper-cased name, own-case name.
bool AppendNameEntry(std::vector<uint8_t>& names, const std::string& name, int codePageClass) {
  KVA_NAME_KEY key;
  if (BuildKvaNameKey(name.c_str(), &key, codePageClass, IsWriterLeadByte) != (int)name.size()) return false;
  size_t at = names.size();
  size_t half = key.units * 4u;
  names.resize(at + 4 + 2 * half, 0);
  uint16_t units = key.units, check = key.check;
  memcpy(&names[at], &units, 2);
  memcpy(&names[at + 2], &check, 2);
  memcpy(&names[at + 4], key.bytes, half);
  memcpy(&names[at + 4 + half], name.data(), name.size());
  return true;
}
}  // namespace

std::vector<uint8_t> WriteKvaImage(const std::vector<KVA_WRITER_ENTRY>& entries, const KVA_WRITER_OPTIONS& options) {
  const int version = options.version;
  if (version < 1 || version > KVA_MAX_VERSION) return {};
  const int codePageClass = version >= 4 ? GetKvaCodePageClass(options.codePage) : 0;

  // The tree, root first; names compare as the reader compares them (upper-cased keys).
  std::vector<Node> nodes(1);
  nodes[0].directory = true;
  auto sameName = [&](const std::string& a, const std::string& b) {
    KVA_NAME_KEY ka, kb;
    BuildKvaNameKey(a.c_str(), &ka, codePageClass, IsWriterLeadByte);
    BuildKvaNameKey(b.c_str(), &kb, codePageClass, IsWriterLeadByte);
    return ka.units == kb.units && memcmp(ka.bytes, kb.bytes, ka.units * 4u) == 0;
  };
  for (const KVA_WRITER_ENTRY& entry : entries) {
    std::vector<std::string> parts = SplitPath(entry.path, codePageClass);
    if (parts.empty()) return {};
    int at = 0;
    for (size_t k = 0; k < parts.size(); k++) {
      bool last = k + 1 == parts.size();
      bool wantDirectory = !last || entry.directory;
      int found = -1;
      for (int child : nodes[at].children)
        if (sameName(nodes[child].name, parts[k])) found = child;
      if (found >= 0) {
        if (!nodes[found].directory || !wantDirectory) return {};
        at = found;
        continue;
      }
      Node node;
      node.name = parts[k];
      node.directory = wantDirectory;
      node.time = entry.writeTime;
      if (last && !entry.directory) node.source = &entry;
      nodes.push_back(node);
      int index = (int)nodes.size() - 1;
      nodes[at].children.push_back(index);
      at = index;
    }
  }

  // Directories in breadth-first order; each directory's entries are one run of records.
  std::vector<int> directories{0};
  for (size_t k = 0; k < directories.size(); k++)
    for (int child : nodes[directories[k]].children)
      if (nodes[child].directory) directories.push_back(child);
  std::vector<uint32_t> directoryOffset(nodes.size(), 0), entryOffset(nodes.size(), 0);
  const uint32_t entrySize = GetKvaEntrySize(version);
  uint32_t nextEntry = entrySize;  // record 0 is the root's own
  for (size_t k = 0; k < directories.size(); k++) {
    directoryOffset[directories[k]] = (uint32_t)(k * KVA_DIRECTORY_SIZE);
    for (int child : nodes[directories[k]].children) {
      entryOffset[child] = nextEntry;
      nextEntry += entrySize;
    }
  }

  // File data, stored or compressed.
  const uint32_t headerSize = GetKvaHeaderSize(version);
  std::vector<uint8_t> data;
  std::vector<uint32_t> dataOffset(nodes.size(), 0), storedSize(nodes.size(), KVA_NOT_COMPRESSED);
  for (size_t n = 0; n < nodes.size(); n++) {
    if (nodes[n].directory || nodes[n].source == nullptr) continue;
    const std::string& bytes = nodes[n].source->data;
    dataOffset[n] = (uint32_t)data.size();
    if (bytes.empty()) continue;
    std::vector<uint8_t> stored(bytes.begin(), bytes.end());
    int mode = nodes[n].source->compression >= 0 ? nodes[n].source->compression : options.compression;
    if (version >= 2 && mode != 0) {
      std::vector<uint8_t> block = EncodeKvaLz(stored.data(), stored.size());
      if (mode == 1 || block.size() < stored.size()) {
        stored = block;
        storedSize[n] = (uint32_t)block.size();
      }
    }
    if (version >= 5) {
      uint8_t key[KVA_KEY_SIZE];
      if (options.secondKey) MakeKvaSecondKey(key); else MakeKvaKey(options.keyString, key);
      CipherKvaBytes((uint32_t)stored.size(), stored.data(), (uint32_t)bytes.size(), key);
    }
    data.insert(data.end(), stored.begin(), stored.end());
  }

  // Header block: names, then file records, then directory records.
  std::vector<uint8_t> block;
  std::vector<uint32_t> nameOffset(nodes.size(), 0);
  for (size_t n = 0; n < nodes.size(); n++) {
    nameOffset[n] = (uint32_t)block.size();
    if (!AppendNameEntry(block, nodes[n].name, codePageClass)) return {};
  }
  const uint32_t fileTable = (uint32_t)block.size();
  for (size_t n = 0; n < nodes.size(); n++) {
    KVA_FILE_ENTRY record = {};
    record.nameOffset = nameOffset[n];
    record.attributes = nodes[n].directory ? KVA_ATTRIBUTE_DIRECTORY : 0x20;
    record.creationTime = record.accessTime = record.writeTime = nodes[n].time;
    if (nodes[n].directory) {
      record.dataOffset = directoryOffset[n];
    } else {
      record.dataOffset = dataOffset[n];
      record.size = (uint32_t)nodes[n].source->data.size();
      record.storedSize = storedSize[n];
    }
    Put(block, fileTable + entryOffset[n], &record, entrySize);
  }
  const uint32_t directoryTable = (uint32_t)block.size();
  for (size_t k = 0; k < directories.size(); k++) {
    const Node& node = nodes[directories[k]];
    KVA_DIRECTORY record = {};
    record.fileEntryOffset = entryOffset[directories[k]];
    record.parentOffset = KVA_NO_PARENT;
    for (size_t p = 0; p < k; p++)
      for (int child : nodes[directories[p]].children)
        if (child == directories[k]) record.parentOffset = (uint32_t)(p * KVA_DIRECTORY_SIZE);
    record.entryCount = (uint32_t)node.children.size();
    record.firstEntryOffset = node.children.empty() ? 0 : entryOffset[node.children[0]];
    Put(block, directoryTable + k * KVA_DIRECTORY_SIZE, &record, sizeof(record));
  }

  // The image: header, data area, header block.
  KVA_HEADER header = {};
  header.signature = KVA_SIGNATURE;
  header.version = (uint16_t)version;
  header.headerBlockSize = (uint32_t)block.size();
  header.dataOffset = headerSize;
  header.headerBlockOffset = headerSize + (uint32_t)data.size();
  header.fileTableOffset = fileTable;
  header.directoryTableOffset = directoryTable;
  header.codePage = options.codePage;
  std::vector<uint8_t> image;
  Put(image, 0, &header, headerSize);
  Put(image, headerSize, data.data(), data.size());
  Put(image, header.headerBlockOffset, block.data(), block.size());

  uint8_t key[KVA_KEY_SIZE];
  if (options.secondKey) MakeKvaSecondKey(key); else MakeKvaKey(options.keyString, key);
  if (version < 5) {
    CipherKvaBytes((uint32_t)image.size(), image.data(), 0, key);
  } else {
    CipherKvaBytes(headerSize, image.data(), 0, key);
    CipherKvaBytes((uint32_t)block.size(), image.data() + header.headerBlockOffset, 0, key);
  }
  return image;
}
