// Model buffers on Wine's real device, seen through a recording layer over the device call
// table (which can also fail a chosen creation or lock): the stride and FVF table, the grouping
// of triangle lists, the bytes the vertex writer puts into each format, the set-up without
// shaders, failures that leave nothing behind, models' dynamic buffers, and buffers that come
// back after the device is re-created.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/memory.h"
#include "graphics/device/state_cache.h"
#include "graphics/lifecycle/device_restore.h"
#include "model/model_buffers.h"
#include "model/model_system.h"
#include "model/model_vertex_format.h"
#include "model_builders.h"
#include "real_device.h"

namespace {
struct CREATED_BUFFER {
  void* buffer;
  UINT length;
  DWORD usage;
  DWORD fvf;  // vertex buffers
  D3DFORMAT format;  // index buffers
  D3DPOOL pool;
};

// What the library asked of the device, and what it wrote into each buffer (taken at unlock).
struct BUFFER_RECORDER {
  DEVICE_CALL_TABLE below;
  std::vector<CREATED_BUFFER> created;
  std::map<void*, void*> lockedData;
  std::map<void*, std::vector<uint8_t>> written;
  std::map<void*, int> locks, unlocks, releases;
  int creations = 0, lockCalls = 0;
  int failCreation = 0, failLock = 0;  // 1-based; 0 fails none

  // The latest creation at that address (a released buffer's address may come back).
  const CREATED_BUFFER* Find(void* buffer) const {
    for (size_t i = created.size(); i-- > 0;)
      if (created[i].buffer == buffer) return &created[i];
    return nullptr;
  }
};
BUFFER_RECORDER rec;

void InstallRecorder() {
  rec = BUFFER_RECORDER();
  rec.below = DeviceCalls;
  DeviceCalls.DeviceCreateVertexBuffer = [](UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                            IDirect3DVertexBuffer9** out, HANDLE* shared) {
    if (++rec.creations == rec.failCreation) {
      *out = nullptr;
      return (HRESULT)D3DERR_OUTOFVIDEOMEMORY;
    }
    HRESULT hr = rec.below.DeviceCreateVertexBuffer(length, usage, fvf, pool, out, shared);
    if (SUCCEEDED(hr)) rec.created.push_back({*out, length, usage, fvf, D3DFMT_UNKNOWN, pool});
    return hr;
  };
  DeviceCalls.DeviceCreateIndexBuffer = [](UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                           IDirect3DIndexBuffer9** out, HANDLE* shared) {
    if (++rec.creations == rec.failCreation) {
      *out = nullptr;
      return (HRESULT)D3DERR_OUTOFVIDEOMEMORY;
    }
    HRESULT hr = rec.below.DeviceCreateIndexBuffer(length, usage, format, pool, out, shared);
    if (SUCCEEDED(hr)) rec.created.push_back({*out, length, usage, 0, format, pool});
    return hr;
  };
  DeviceCalls.BufferLock = [](IDirect3DResource9* b, UINT offset, UINT size, void** data, DWORD flags) {
    if (++rec.lockCalls == rec.failLock) return (HRESULT)D3DERR_INVALIDCALL;
    HRESULT hr = rec.below.BufferLock(b, offset, size, data, flags);
    if (SUCCEEDED(hr)) {
      rec.locks[b]++;
      rec.lockedData[b] = *data;
    }
    return hr;
  };
  DeviceCalls.BufferUnlock = [](IDirect3DResource9* b) {
    rec.unlocks[b]++;
    const CREATED_BUFFER* c = rec.Find(b);
    if (c != nullptr && rec.lockedData[b] != nullptr) {
      const uint8_t* data = (const uint8_t*)rec.lockedData[b];
      rec.written[b].assign(data, data + c->length);
    }
    return rec.below.BufferUnlock(b);
  };
  DeviceCalls.ReleaseComObject = [](IUnknown* object) {
    rec.releases[object]++;
    return rec.below.ReleaseComObject(object);
  };
}

class ModelBuffers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override {
    shaders = StateFlags.programmableShaders;
    InstallRecorder();
    blocks = GetAllocBlockCount();
  }
  void TearDown() override {
    DeviceCalls = rec.below;
    SetProgrammableShaders(shaders);
  }
  int shaders = 0, blocks = 0;
};

// The groups of a base in key order, each from its head.
std::vector<MODEL_BUFFER_GROUP*> GroupsOf(const MODEL_BASE_RECORD* base) {
  std::vector<MODEL_BUFFER_GROUP*> groups;
  for (int k = 0; k < MODEL_VERTEX_KINDS; k++)
    for (int t = 0; t < 2; t++)
      for (int n = 0; n <= MODEL_TEXCOORD_SETS_MAX; n++)
        for (MODEL_BUFFER_GROUP* g = base->groupHeads[k][t][n]; g != nullptr; g = g->next) groups.push_back(g);
  return groups;
}

// The key lists are whole: counts, heads, tails and both links agree.
void ExpectGroupListsConsistent(const MODEL_BASE_RECORD* base, const std::string& name) {
  int total = 0;
  for (int k = 0; k < MODEL_VERTEX_KINDS; k++)
    for (int t = 0; t < 2; t++)
      for (int n = 0; n <= MODEL_TEXCOORD_SETS_MAX; n++) {
        int count = 0;
        MODEL_BUFFER_GROUP* last = nullptr;
        for (MODEL_BUFFER_GROUP* g = base->groupHeads[k][t][n]; g != nullptr; last = g, g = g->next) {
          EXPECT_EQ(g->previous, last) << name;
          count++;
        }
        EXPECT_EQ(base->groupTails[k][t][n], last) << name;
        EXPECT_EQ(base->groupCounts[k][t][n], count) << name;
        total += count;
      }
  EXPECT_EQ(base->groupTotal, total) << name;
}

void ExpectNoGroups(const MODEL_BASE_RECORD* base, const std::string& name) {
  EXPECT_EQ(base->buffersSetUp, 0) << name;
  EXPECT_TRUE(GroupsOf(base).empty()) << name;
  ExpectGroupListsConsistent(base, name);
  for (int i = 0; i < base->triangleListCount; i++) EXPECT_EQ(base->triangleLists[i].group, nullptr) << name << " list " << i;
}

float FloatAt(const std::vector<uint8_t>& bytes, size_t offset) {
  float f;
  memcpy(&f, bytes.data() + offset, 4);
  return f;
}
uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t w;
  memcpy(&w, bytes.data() + offset, 4);
  return w;
}

// Expected floats and words of one vertex, field by field from its start.
struct FIELD {
  bool isFloat;
  float f;
  uint32_t w;
};
FIELD F(float f) { return {true, f, 0}; }
FIELD W(uint32_t w) { return {false, 0, w}; }
FIELD Bytes(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return W(a | b << 8 | c << 16 | (uint32_t)d << 24); }

void ExpectVertex(const std::vector<uint8_t>& bytes, size_t offset, const std::vector<FIELD>& fields,
                  const std::string& name) {
  ASSERT_GE(bytes.size(), offset + fields.size() * 4) << name;
  for (size_t i = 0; i < fields.size(); i++) {
    if (fields[i].isFloat)
      EXPECT_EQ(FloatAt(bytes, offset + 4 * i), fields[i].f) << name << " field " << i;
    else
      EXPECT_EQ(WordAt(bytes, offset + 4 * i), fields[i].w) << name << " field " << i << std::hex;
  }
}

TEST(ModelVertexFormat, StrideAndFvfOfEveryKind) {
  struct Row {
    int kind, tangent, sets, stride;
    DWORD fvf;
  } rows[] = {
      {0, 0, 0, 64, 0xD2},       {0, 0, 1, 80, 0x201D2},     {0, 0, 2, 96, 0xA02D2},
      {0, 0, 8, 192, 0xAAAA08D2}, {0, 1, 0, 56, 0},           {0, 1, 3, 104, 0},
      {1, 0, 0, 52, 0},          {1, 1, 2, 108, 0},          {2, 0, 0, 72, 0},
      {2, 1, 8, 224, 0},
  };
  for (const Row& r : rows) {
    MODEL_VERTEX_FORMAT f = GetModelVertexFormat(r.kind, r.tangent, r.sets);
    std::string name = std::to_string(r.kind) + "/" + std::to_string(r.tangent) + "/" + std::to_string(r.sets);
    EXPECT_EQ(f.stride, r.stride) << name;
    EXPECT_EQ(f.fvf, r.fvf) << name << std::hex;
  }
}

// The grouping alone, from the counts of the lists (no device, no data).
TEST(ModelGrouping, ListsFillGroupsWithinTheLimitsAndNoGroupIsLeftEmpty) {
  const int V = MODEL_GROUP_VERTEX_LIMIT;
  struct Expect {
    int group;  // index in key order, -1 none
    int firstVertex, firstIndex;
  };
  struct Row {
    const char* name;
    std::vector<TEST_LIST_SPEC> specs;
    std::vector<Expect> lists;
    int groups;
  } rows[] = {
      {"two rigid lists share a group", {{0, 0, 2, 10, 6, 3}, {0, 0, 2, 20, 9, 0}}, {{0, 0, 0}, {0, 10, 9}}, 1},
      {"reaching the vertex limit starts a group", {{0, 0, 0, 0x50000, 3, 0}, {0, 0, 0, 0x10000, 3, 0}},
       {{0, 0, 0}, {1, 0, 0}}, 2},
      {"one below the vertex limit stays", {{0, 0, 0, 0x50000, 3, 0}, {0, 0, 0, 0xFFFF, 3, 0}},
       {{0, 0, 0}, {0, 0x50000, 3}}, 1},
      {"reaching the index limit starts a group",
       {{0, 0, 0, 3, 0xFFFF, 0xFFFF}, {0, 0, 0, 3, 0xFFFF, 0xFFFF}, {0, 0, 0, 3, 0xFFFF, 0xFFFF},
        {0, 0, 0, 3, 0xFFFF, 0xFFFF}, {0, 0, 0, 3, 0xFFFF, 0xFFFF}, {0, 0, 0, 3, 0xFFFF, 0xFFFF}, {0, 0, 0, 3, 6, 6}},
       {{0, 0, 0}, {0, 3, 131070}, {0, 6, 262140}, {0, 9, 393210}, {0, 12, 524280}, {0, 15, 655350}, {1, 0, 0}}, 2},
      {"one below the index limit stays",
       {{0, 0, 0, 3, 0xFFFF, 0xFFFF}, {0, 0, 0, 3, 0xFFFF, 0xFFFF}, {0, 0, 0, 3, 0xFFFF, 0xFFFF},
        {0, 0, 0, 3, 0xFFFF, 0xFFFF}, {0, 0, 0, 3, 0xFFFF, 0xFFFF}, {0, 0, 0, 3, 0xFFFF, 0xFFFF}, {0, 0, 0, 3, 6, 5}},
       {{0, 0, 0}, {0, 3, 131070}, {0, 6, 262140}, {0, 9, 393210}, {0, 12, 524280}, {0, 15, 655350}, {0, 18, 786420}},
       1},
      // The list alone passes the limit: it keeps the group it started, none is left empty.
      {"an oversized first list keeps its own group", {{0, 0, 0, V + 0x10000, 3, 0}, {0, 0, 0, 10, 3, 0}},
       {{0, 0, 0}, {1, 0, 0}}, 2},
      {"an oversized list after others gets one group", {{0, 0, 0, 10, 3, 0}, {0, 0, 0, V * 2, 3, 0}, {0, 0, 0, 5, 3, 0}},
       {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, 3},
      {"a last group without indices is dropped", {{0, 0, 0, V - 1, 3, 0}, {0, 0, 0, 10, 0, 0}}, {{0, 0, 0}, {-1, 0, 0}}, 1},
      {"a middle group without indices is dropped",
       {{0, 0, 0, V - 1, 3, 0}, {0, 0, 0, 10, 0, 0}, {0, 0, 0, V, 3, 0}}, {{0, 0, 0}, {-1, 0, 0}, {1, 0, 0}}, 2},
      {"a group without vertices is dropped", {{0, 0, 1, 0, 3, 0}}, {{-1, 0, 0}}, 0},
      {"kind 3 is ignored", {{3, 0, 0, 10, 3, 0}, {0, 0, 0, 4, 3, 0}}, {{-1, 0, 0}, {0, 0, 0}}, 1},
      {"keys apart, in key order", {{1, 1, 3, 10, 3, 0}, {0, 0, 3, 10, 3, 0}, {1, 1, 3, 5, 3, 0}},
       {{1, 0, 0}, {0, 0, 0}, {1, 10, 3}}, 2},
  };
  for (Row& row : rows) {
    MODEL_BASE_RECORD base = {};
    TEST_BASE_DATA data;
    data.specs = row.specs;
    FillTestBase(&base, &data, 0);
    int blocks = GetAllocBlockCount();
    ASSERT_EQ(SortModelTriangleLists(&base), 0) << row.name;
    std::vector<MODEL_BUFFER_GROUP*> groups = GroupsOf(&base);
    EXPECT_EQ((int)groups.size(), row.groups) << row.name;
    ExpectGroupListsConsistent(&base, row.name);
    for (size_t i = 0; i < row.lists.size(); i++) {
      const MODEL_TRIANGLE_LIST& list = data.lists[i];
      const Expect& e = row.lists[i];
      std::string name = std::string(row.name) + ", list " + std::to_string(i);
      if (e.group < 0) {
        EXPECT_EQ(list.group, nullptr) << name;
        continue;
      }
      ASSERT_LT(e.group, (int)groups.size()) << name;
      EXPECT_EQ(list.group, groups[e.group]) << name;
      EXPECT_EQ(list.firstVertex, e.firstVertex) << name;
      EXPECT_EQ(list.firstIndex, e.firstIndex) << name;
    }
    for (MODEL_BUFFER_GROUP* g : groups) {
      EXPECT_GT(g->vertexCount, 0) << row.name;
      EXPECT_GT(g->indexCount, 0) << row.name;
      FreeTracked(g);
    }
    EXPECT_EQ(GetAllocBlockCount(), blocks) << row.name;  // dropped groups were freed
  }
}

TEST_F(ModelBuffers, TwoRigidListsShareOneBufferPairInTheFixedFunctionFormat) {
  HANDLE_VALUE base = NewTestBase();
  TEST_BASE_DATA data;
  data.specs = {{0, 0, 2, 3, 3, 3}, {0, 0, 2, 2, 3, 0}};
  FillTestBase(BaseRecord(base), &data);
  ASSERT_EQ(SetupModelBaseVertexBuffers(base, 5, 0), 0);
  MODEL_BASE_RECORD* b = BaseRecord(base);
  EXPECT_EQ(b->buffersSetUp, 1);
  EXPECT_EQ(b->setupFlag, 5);
  ASSERT_EQ(GroupsOf(b).size(), 1u);
  MODEL_BUFFER_GROUP* g = GroupsOf(b)[0];
  EXPECT_EQ(g->stride, 96);
  EXPECT_EQ(g->fvf, 0xA02D2u);
  EXPECT_EQ(data.lists[1].group, g);
  EXPECT_EQ(data.lists[1].firstVertex, 3);
  EXPECT_EQ(data.lists[1].firstIndex, 6);
  EXPECT_EQ(g->lockedVertices, nullptr);
  ASSERT_EQ(rec.created.size(), 2u);
  const CREATED_BUFFER* vb = rec.Find(g->vertexBuffer);
  const CREATED_BUFFER* ib = rec.Find(g->indexBuffer);
  ASSERT_NE(vb, nullptr);
  ASSERT_NE(ib, nullptr);
  EXPECT_EQ(vb->length, 5u * 96);
  EXPECT_EQ(vb->usage, (DWORD)D3DUSAGE_WRITEONLY);
  EXPECT_EQ(vb->fvf, 0xA02D2u);
  EXPECT_EQ(vb->pool, D3DPOOL_DEFAULT);
  EXPECT_EQ(ib->length, 9u * 2);
  EXPECT_EQ(ib->usage, (DWORD)D3DUSAGE_WRITEONLY);
  EXPECT_EQ(ib->format, D3DFMT_INDEX16);
  EXPECT_EQ(ib->pool, D3DPOOL_DEFAULT);
  EXPECT_EQ(rec.unlocks[g->vertexBuffer], 1);
  EXPECT_EQ(rec.unlocks[g->indexBuffer], 1);

  // The second list's first vertex, at vertex 3 of the group: position, normal, diffuse,
  // specular, then (u, v, 1, 1) per set.
  const std::vector<uint8_t>& v = rec.written[g->vertexBuffer];
  ExpectVertex(v, 3 * 96,
               {F(0), F(1), F(7), F(0), F(1), F(2), W(0xFF010000), W(0x00110000), F(1), F(0.5f), F(1), F(1), F(2),
                F(0.5f), F(1), F(1)},
               "list 1 vertex 0");
  ExpectVertex(v, 2 * 96, {F(2), F(0), F(7), F(2), F(1), F(2), W(0xFF000002), W(0x00110002), F(0), F(2.5f)},
               "list 0 vertex 2");
  std::vector<uint8_t> indexBytes = rec.written[g->indexBuffer];
  std::vector<uint16_t> indices(indexBytes.size() / 2);
  memcpy(indices.data(), indexBytes.data(), indexBytes.size());
  EXPECT_EQ(indices, (std::vector<uint16_t>{0, 1, 2, 100, 101, 102, 0, 1, 2}));

  // Set up already: nothing more is made.
  EXPECT_EQ(SetupModelBaseVertexBuffers(base, 1, 0), 0);
  EXPECT_EQ(rec.created.size(), 2u);
  EXPECT_EQ(b->setupFlag, 5);
  DeleteHandle(base);
  EXPECT_EQ(rec.releases[vb->buffer], 1);
  EXPECT_EQ(rec.releases[ib->buffer], 1);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

TEST_F(ModelBuffers, SkinnedAndTangentFrameFormatsAreWrittenFieldByField) {
  ASSERT_TRUE(StateFlags.programmableShaders);
  HANDLE_VALUE base = NewTestBase();
  TEST_BASE_DATA data;
  data.specs = {{1, 1, 1, 2, 3, 0}, {2, 0, 0, 2, 3, 0}, {0, 1, 0, 2, 3, 0}};
  FillTestBase(BaseRecord(base), &data);
  ASSERT_EQ(SetupModelBaseVertexBuffers(base, 1, 0), 0);
  struct Row {
    int list, stride;
    std::vector<FIELD> vertex1;
  } rows[] = {
      // Position, bones x 3, weights, tangent, binormal, normal, diffuse, specular, set.
      {0, 92,
       {F(1), F(0), F(7), Bytes(3, 6, 9, 44), F(0.1f), F(0.2f), F(0.3f), F(0.4f), F(3), F(1), F(4), F(5), F(6), F(1),
        F(1), F(1), F(2), W(0xFF000001), W(0x00110001), F(0), F(1.5f), F(1), F(1)}},
      // Position, bones, more bones, eight weights, normal, diffuse, specular.
      {1, 72,
       {F(1), F(1), F(7), Bytes(3, 6, 9, 44), Bytes(12, 15, 18, 14), F(0.1f), F(0.2f), F(0.3f), F(0.4f), F(0.5f),
        F(0.6f), F(0.7f), F(0.8f), F(1), F(1), F(2), W(0xFF010001), W(0x00110001)}},
      // Position, tangent, binormal, normal, diffuse, specular.
      {2, 56, {F(1), F(2), F(7), F(3), F(1), F(4), F(5), F(6), F(1), F(1), F(1), F(2), W(0xFF020001), W(0x00110001)}},
  };
  for (const Row& row : rows) {
    std::string name = "list " + std::to_string(row.list);
    MODEL_BUFFER_GROUP* g = data.lists[row.list].group;
    ASSERT_NE(g, nullptr) << name;
    EXPECT_EQ(g->stride, row.stride) << name;
    EXPECT_EQ(g->fvf, 0u) << name;
    EXPECT_EQ(rec.Find(g->vertexBuffer)->length, (UINT)(2 * row.stride)) << name;
    ExpectVertex(rec.written[g->vertexBuffer], row.stride, row.vertex1, name);
  }
  DeleteHandle(base);
  EXPECT_GE(rec.releases.size(), 6u);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

TEST_F(ModelBuffers, WithoutShadersOnlyRigidListsWithoutTangentFrameGetBuffers) {
  SetProgrammableShaders(0);
  HANDLE_VALUE base = NewTestBase();
  TEST_BASE_DATA data;
  data.specs = {{0, 0, 1, 3, 3, 0}, {0, 1, 1, 3, 3, 0}, {1, 0, 0, 3, 3, 0}, {2, 1, 2, 3, 3, 0}, {0, 0, 1, 2, 3, 0}};
  FillTestBase(BaseRecord(base), &data);
  ASSERT_EQ(SetupModelBaseVertexBuffers(base, 1, 0), 0);
  MODEL_BASE_RECORD* b = BaseRecord(base);
  ExpectGroupListsConsistent(b, "without shaders");
  ASSERT_EQ(GroupsOf(b).size(), 1u);
  EXPECT_EQ(data.lists[0].group, GroupsOf(b)[0]);
  EXPECT_EQ(data.lists[4].group, GroupsOf(b)[0]);
  for (int i = 1; i <= 3; i++) EXPECT_EQ(data.lists[i].group, nullptr) << i;
  EXPECT_EQ(rec.created.size(), 2u);
  EXPECT_EQ(b->buffersSetUp, 1);
  DeleteHandle(base);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

// A creation or lock that fails anywhere: -1, no group, no reference, every buffer made is
// released once and every buffer locked is unlocked once, and no tracked block stays.
TEST_F(ModelBuffers, AFailedCreationOrLockLeavesNothingBehind) {
  struct Row {
    const char* name;
    int failCreation, failLock;
  } rows[] = {
      {"first vertex buffer", 1, 0}, {"first index buffer", 2, 0}, {"second group's vertex buffer", 3, 0},
      {"second group's index buffer", 4, 0}, {"first vertex lock", 0, 1}, {"second group's index lock", 0, 4},
  };
  for (const Row& row : rows) {
    DeviceCalls = rec.below;
    InstallRecorder();
    rec.failCreation = row.failCreation;
    rec.failLock = row.failLock;
    HANDLE_VALUE base = NewTestBase();
    TEST_BASE_DATA data;
    data.specs = {{0, 0, 0, 3, 3, 0}, {1, 0, 0, 3, 3, 0}};
    FillTestBase(BaseRecord(base), &data);
    int before = GetAllocBlockCount();
    EXPECT_EQ(SetupModelBaseVertexBuffers(base, 1, 0), -1) << row.name;
    ExpectNoGroups(BaseRecord(base), row.name);
    EXPECT_EQ(GetAllocBlockCount(), before) << row.name;
    for (const CREATED_BUFFER& c : rec.created) EXPECT_EQ(rec.releases[c.buffer], 1) << row.name;
    for (const auto& lock : rec.locks) EXPECT_EQ(rec.unlocks[lock.first], lock.second) << row.name;
    // Nothing fails any more: the next set-up builds the base.
    rec.failCreation = rec.failLock = 0;
    EXPECT_EQ(SetupModelBaseVertexBuffers(base, 1, 0), 0) << row.name;
    EXPECT_EQ(GroupsOf(BaseRecord(base)).size(), 2u) << row.name;
    DeleteHandle(base);
  }
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

// A model of a base with per-model meshes: the fixed-function list and the skinned one get
// buffers of their own, the plain mesh none; the base's release takes them.
struct TEST_MODEL_STATE {
  std::vector<MODEL_DYNAMIC_BUFFER_ENTRY> entries;
  std::vector<MODEL_MESH_STATE> meshStates;
  std::vector<MODEL_DRAW_STATE> drawStates;
  MODEL_FRAME_STATE frameState = {};
};

void WireModelState(MODEL_RECORD* model, int lists, TEST_MODEL_STATE* s) {
  s->entries.assign(lists, MODEL_DYNAMIC_BUFFER_ENTRY{});
  s->meshStates.assign(lists, MODEL_MESH_STATE{});
  s->drawStates.assign(lists, MODEL_DRAW_STATE{});
  for (int i = 0; i < lists; i++) {
    s->entries[i].drawState = &s->drawStates[i];
    s->meshStates[i].entries = &s->entries[i];
  }
  s->frameState.meshStates = s->meshStates.data();
  model->frameStates = &s->frameState;
  model->dynamicBufferEntries = s->entries.data();
}

TEST_F(ModelBuffers, ModelsGetDynamicBuffersForTheirOwnMeshes) {
  HANDLE_VALUE base = NewTestBase();
  TEST_BASE_DATA data;
  data.specs = {{0, 0, 1, 4, 3, 0, 1}, {1, 0, 0, 5, 3, 0, 1}, {0, 0, 1, 3, 3, 0, 0}};
  FillTestBase(BaseRecord(base), &data);
  HANDLE_VALUE model = NewTestModel(base);
  TEST_MODEL_STATE state;
  WireModelState(ModelRecord(model), 3, &state);
  ASSERT_EQ(SetupModelBaseVertexBuffers(base, 1, 0), 0);
  MODEL_RECORD* m = ModelRecord(model);
  EXPECT_EQ(m->dynamicBuffers, 1);
  ASSERT_NE(state.entries[0].buffer, nullptr);
  ASSERT_NE(state.entries[1].buffer, nullptr);
  EXPECT_EQ(state.entries[2].buffer, nullptr);
  const CREATED_BUFFER* fixed = rec.Find(state.entries[0].buffer);
  const CREATED_BUFFER* skinned = rec.Find(state.entries[1].buffer);
  EXPECT_EQ(fixed->length, 4u * 80);
  EXPECT_EQ(fixed->usage, (DWORD)(D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY));
  EXPECT_EQ(fixed->fvf, 0x201D2u);
  EXPECT_EQ(fixed->pool, D3DPOOL_DEFAULT);
  EXPECT_EQ(skinned->length, 5u * 52);
  EXPECT_EQ(skinned->fvf, 0u);
  EXPECT_EQ(state.drawStates[0].refresh, 1);
  EXPECT_EQ(state.drawStates[2].refresh, 0);

  // A second call keeps the buffers there.
  size_t made = rec.created.size();
  EXPECT_EQ(CreateModelDynamicVertexBuffers(model, 0), 0);
  EXPECT_EQ(rec.created.size(), made);
  EXPECT_EQ(CreateModelDynamicVertexBuffers(base, 0), -1);

  // The base's release takes the models' buffers with its own.
  IDirect3DVertexBuffer9* first = state.entries[0].buffer;
  EXPECT_EQ(ReleaseModelBaseVertexBuffers(base), 0);
  EXPECT_EQ(state.entries[0].buffer, nullptr);
  EXPECT_EQ(state.entries[1].buffer, nullptr);
  EXPECT_EQ(rec.releases[first], 1);
  ExpectNoGroups(BaseRecord(base), "released");
  for (const MODEL_TRIANGLE_LIST& list : data.lists) EXPECT_EQ(list.firstVertex + list.firstIndex, 0);

  // A base not set up leaves its models' buffers alone.
  state.entries[2].buffer = (IDirect3DVertexBuffer9*)&state;  // a marker, never released
  EXPECT_EQ(ReleaseModelBaseVertexBuffers(base), 0);
  EXPECT_EQ(state.entries[2].buffer, (IDirect3DVertexBuffer9*)&state);
  state.entries[2].buffer = nullptr;

  // Frames not flagged get none.
  data.frame.dynamicFlag = 0;
  ASSERT_EQ(SetupModelBaseVertexBuffers(base, 1, 0), 0);
  EXPECT_EQ(state.entries[0].buffer, nullptr);
  data.frame.dynamicFlag = 1;
  EXPECT_EQ(CreateModelDynamicVertexBuffers(model, 0), 0);
  EXPECT_NE(state.entries[0].buffer, nullptr);
  DeleteHandle(model);
  EXPECT_EQ(state.entries[0].buffer, nullptr);
  DeleteHandle(base);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

// A device thrown away and made again: every base is set up anew on the new device with the
// same contents, and its models get new dynamic buffers.
TEST_F(ModelBuffers, BuffersComeBackAfterTheDeviceIsRecreated) {
  HANDLE_VALUE base = NewTestBase();
  TEST_BASE_DATA data;
  data.specs = {{0, 0, 2, 3, 3, 3, 1}, {2, 1, 1, 4, 6, 0}};
  FillTestBase(BaseRecord(base), &data);
  HANDLE_VALUE model = NewTestModel(base);
  TEST_MODEL_STATE state;
  WireModelState(ModelRecord(model), 2, &state);
  ASSERT_EQ(SetupModelBaseVertexBuffers(base, 1, 0), 0);
  std::vector<std::vector<uint8_t>> before;
  for (MODEL_BUFFER_GROUP* g : GroupsOf(BaseRecord(base))) {
    before.push_back(rec.written[g->vertexBuffer]);
    before.push_back(rec.written[g->indexBuffer]);
  }
  ASSERT_EQ(before.size(), 4u);
  size_t made = rec.created.size();
  IDirect3DDevice9* oldDevice = Direct3DObjects.device;

  ASSERT_EQ(RecreateGraphicsDevice(), 0);
  ASSERT_TRUE(HasDirect3DDevice());
  EXPECT_NE(Direct3DObjects.device, oldDevice);
  MODEL_BASE_RECORD* b = BaseRecord(base);
  EXPECT_EQ(b->buffersSetUp, 1);
  std::vector<std::vector<uint8_t>> after;
  for (MODEL_BUFFER_GROUP* g : GroupsOf(b)) {
    ASSERT_NE(g->vertexBuffer, nullptr);
    ASSERT_NE(g->indexBuffer, nullptr);
    EXPECT_EQ(rec.Find(g->vertexBuffer) - rec.created.data() >= (long)made, true);
    after.push_back(rec.written[g->vertexBuffer]);
    after.push_back(rec.written[g->indexBuffer]);
  }
  EXPECT_EQ(after, before);
  EXPECT_NE(state.entries[0].buffer, nullptr);
  EXPECT_GT(rec.created.size(), made + 4);  // both groups' buffers and the model's
  // Every buffer of the old device was released before it went.
  for (size_t i = 0; i < made; i++) EXPECT_EQ(rec.releases[rec.created[i].buffer], 1) << i;
  DeleteHandle(model);
  DeleteHandle(base);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

TEST_F(ModelBuffers, InvalidHandlesAndAMissingTypeAreRefused) {
  EXPECT_EQ(SetupModelBaseVertexBuffers(-1, 1, 0), -1);
  HANDLE_VALUE base = NewTestBase();
  HANDLE_VALUE model = NewTestModel(base);
  EXPECT_EQ(SetupModelBaseVertexBuffers(model, 1, 0), -1);
  EXPECT_EQ(ReleaseModelBaseVertexBuffers(model), -1);
  EXPECT_EQ(ReleaseModelDynamicVertexBuffers(base), -1);
  BeginHandleAsyncLoad(base, 0);
  EXPECT_EQ(SetupModelBaseVertexBuffers(base, 1, 0), -1);
  EXPECT_EQ(ReleaseModelBaseVertexBuffers(base), -1);
  EndHandleAsyncLoad(base);
  BeginHandleAsyncLoad(model, 0);
  EXPECT_EQ(CreateModelDynamicVertexBuffers(model, 0), -1);
  EXPECT_EQ(CreateModelDynamicVertexBuffers(model, 1), 0);  // a worker's own load
  EndHandleAsyncLoad(model);
  DeleteHandle(model);
  DeleteHandle(base);
  EXPECT_EQ(ReleaseAllModelVertexBuffers(), 0);
  EXPECT_EQ(SetupAllModelBaseVertexBuffers(0), 0);
}
}  // namespace
