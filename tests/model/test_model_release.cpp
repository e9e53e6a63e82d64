// Model bases and models on Wine's real device: the two handle types live only with Direct3D,
// bases are shared by reference count, a model leaves its base's list in order, every owned
// block and graph goes with its record, and the Bullet objects of a model are deleted exactly
// once each, counted by their destructors.
#include <gtest/gtest.h>

#include <btBulletDynamicsCommon.h>
#include <BulletCollision/CollisionDispatch/btGhostObject.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/memory.h"
#include "graphics/device/screen.h"
#include "graphics/graphs/graph_create.h"
#include "graphics/graphs/graph_handles.h"
#include "model/model_physics.h"
#include "model/model_system.h"
#include "model_builders.h"
#include "real_device.h"

namespace {
class ModelRelease : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override { blocks = GetAllocBlockCount(); }
  int blocks = 0;
};

TEST_F(ModelRelease, TypesExistOnlyWithDirect3DAndStartOnce) {
  ASSERT_TRUE(IsHandleTypeReady(HANDLE_TYPE_MODEL_BASE));
  ASSERT_TRUE(IsHandleTypeReady(HANDLE_TYPE_MODEL));
  EXPECT_STREQ(HandleManagers[HANDLE_TYPE_MODEL_BASE].name, "３Ｄモデル");
  EXPECT_STREQ(HandleManagers[HANDLE_TYPE_MODEL].name, "３Ｄモデル");
  EXPECT_EQ(HandleManagers[HANDLE_TYPE_MODEL].maxCount, 0x8000);
  EXPECT_EQ(ModelSystem.whiteTexture, -1);

  // A second start changes nothing.
  ModelSystem.whiteTexture = 1234;
  EXPECT_EQ(InitModelSystem(), 0);
  EXPECT_EQ(ModelSystem.whiteTexture, 1234);
  ModelSystem.whiteTexture = -1;

  // With software rendering there are no model types, and the end has nothing to do.
  ModelSystem.workBuffer = TestBlock(64);
  ModelSystem.workBufferSize = 64;
  HANDLE_VALUE base = NewTestBase();
  ASSERT_NE(base, -1);
  EXPECT_EQ(TerminateModelSystem(), 0);
  EXPECT_FALSE(IsHandleTypeReady(HANDLE_TYPE_MODEL_BASE));
  EXPECT_FALSE(IsHandleTypeReady(HANDLE_TYPE_MODEL));
  EXPECT_EQ(ModelSystem.workBuffer, nullptr);
  EXPECT_EQ(ModelSystem.workBufferSize, 0u);
  EXPECT_EQ(GetAllocBlockCount(), blocks - 2);  // the base, the work buffer, and both slot arrays went
  ScreenState.hardwareRendering = 0;
  EXPECT_EQ(InitModelSystem(), 0);
  EXPECT_FALSE(IsHandleTypeReady(HANDLE_TYPE_MODEL_BASE));
  EXPECT_FALSE(IsHandleTypeReady(HANDLE_TYPE_MODEL));
  EXPECT_EQ(TerminateModelSystem(), 0);
  EXPECT_EQ(DeleteAllModels(), -1);
  ScreenState.hardwareRendering = 1;
  EXPECT_EQ(InitModelSystem(), 0);
  EXPECT_TRUE(IsHandleTypeReady(HANDLE_TYPE_MODEL));
}

// Deleting the base and its two models in any order: each delete drops one reference, the
// base stays valid until the last, and then nothing is left.
TEST_F(ModelRelease, BasesAreSharedByReferenceCount) {
  struct Row {
    const char* name;
    int order[3];        // 0 the base, 1 and 2 the models
    int counts[3];       // the base's reference count after each delete (0: freed)
  } rows[] = {
      {"base first", {0, 1, 2}, {2, 1, 0}},
      {"base between", {1, 0, 2}, {2, 1, 0}},
      {"base last", {2, 1, 0}, {2, 1, 0}},
  };
  for (const Row& row : rows) {
    HANDLE_VALUE base = NewTestBase();
    HANDLE_VALUE handles[3] = {base, NewTestModel(base), NewTestModel(base)};
    ASSERT_EQ(BaseRecord(base)->referenceCount, 3) << row.name;
    for (int step = 0; step < 3; step++) {
      EXPECT_EQ(DeleteHandle(handles[row.order[step]]), 0) << row.name << " step " << step;
      MODEL_BASE_RECORD* record = BaseRecord(base);
      if (row.counts[step] == 0) {
        EXPECT_EQ(record, nullptr) << row.name << " step " << step;
      } else {
        ASSERT_NE(record, nullptr) << row.name << " step " << step;
        EXPECT_EQ(record->referenceCount, row.counts[step]) << row.name << " step " << step;
      }
    }
    EXPECT_EQ(GetAllocBlockCount(), blocks) << row.name;
  }
}

TEST_F(ModelRelease, AReleasedModelLeavesItsBasesListInOrder) {
  struct Row {
    const char* name;
    int models;
    int released;  // index of the model deleted
  } rows[] = {{"first of three", 3, 0}, {"middle of three", 3, 1}, {"last of three", 3, 2}, {"the only one", 1, 0}};
  for (const Row& row : rows) {
    HANDLE_VALUE base = NewTestBase();
    std::vector<HANDLE_VALUE> models;
    for (int i = 0; i < row.models; i++) models.push_back(NewTestModel(base));
    std::vector<MODEL_RECORD*> kept;
    for (int i = 0; i < row.models; i++)
      if (i != row.released) kept.push_back(ModelRecord(models[i]));
    ASSERT_EQ(DeleteHandle(models[row.released]), 0) << row.name;
    MODEL_BASE_RECORD* record = BaseRecord(base);
    EXPECT_EQ(record->modelCount, row.models - 1) << row.name;
    // Forwards and backwards the list holds the others in their order.
    std::vector<MODEL_RECORD*> forward, backward;
    for (MODEL_RECORD* m = record->firstModel; m != nullptr; m = m->nextModel) forward.push_back(m);
    for (MODEL_RECORD* m = record->lastModel; m != nullptr; m = m->previousModel) backward.insert(backward.begin(), m);
    EXPECT_EQ(forward, kept) << row.name;
    EXPECT_EQ(backward, kept) << row.name;
    DeleteHandle(base);
    for (HANDLE_VALUE m : models) DeleteHandle(m);
    EXPECT_EQ(BaseRecord(base), nullptr) << row.name;
    EXPECT_EQ(GetAllocBlockCount(), blocks) << row.name;
  }
}

TEST_F(ModelRelease, AModelWithoutABaseRecordReleasesOnlyItsOwnedBlock) {
  HANDLE_VALUE base = NewTestBase();
  HANDLE_VALUE model = NewHandle(HANDLE_TYPE_MODEL, -1);
  ASSERT_NE(model, -1);
  MODEL_RECORD* record = ModelRecord(model);
  record->baseHandle = base;  // a handle but no record: the base is not touched
  record->ownedBlock = TestBlock();
  record->attachmentCapacity = 4;  // nothing behind it is read
  EXPECT_EQ(DeleteHandle(model), 0);
  EXPECT_EQ(BaseRecord(base)->referenceCount, 1);
  EXPECT_EQ(DeleteHandle(base), 0);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

// A base and a model holding one of every kind of owned block, graph and node chain: deleting
// both leaves no tracked block and no graph behind.
TEST_F(ModelRelease, EveryOwnedBlockAndGraphGoesWithItsRecord) {
  GRAPH_CREATE_PARAM param;
  CaptureGraphCreateParam(&param);
  int graphsBefore = HandleManagers[HANDLE_TYPE_GRAPH].count;
  HANDLE_VALUE base = NewTestBase();
  MODEL_BASE_RECORD* b = BaseRecord(base);
  b->ownedBlock = TestBlock();
  b->sharedWork = TestBlock();
  b->sharedWorkWords[8] = 7;
  b->frameCount = 2;
  b->frames = TestArray<MODEL_FRAME>(2);  // not owned by the records: freed below
  b->frames[0].normals = TestArray<MODEL_NORMAL>(3);
  b->frames[0].normalsOwned = 1;
  b->textureCount = 2;
  b->textures = TestArray<MODEL_TEXTURE>(2);
  b->texturesOwned = 1;
  for (int i = 0; i < 2; i++) {
    MODEL_TEXTURE& t = b->textures[i];
    t.block0 = TestBlock(), t.ownedFlag0 = 1;
    t.block2 = TestBlock(), t.ownedFlag2 = 1;
    t.colorFile = TestBlock(), t.alphaFile = TestBlock();
    t.graph = CreateBlankGraph(&param, 8, 8, 0, 0, 0);
    ASSERT_NE(t.graph, -1);
  }
  MODEL_FRAME* frames = b->frames;
  b->meshCount = 1;
  b->meshes = TestArray<MODEL_MESH>(1);
  MODEL_MESH* meshes = b->meshes;
  meshes[0].sourceVertices = (uint8_t*)TestBlock(), meshes[0].sourceOwned = 1;
  b->blockEntryCount = 2;
  b->blockEntries = TestArray<MODEL_BLOCK_ENTRY>(2);
  MODEL_BLOCK_ENTRY* entries = b->blockEntries;
  entries[1].block = TestBlock(), entries[1].owned = 1;
  b->triangleListCount = 1;
  b->triangleLists = TestArray<MODEL_TRIANGLE_LIST>(1);
  MODEL_TRIANGLE_LIST* lists = b->triangleLists;
  lists[0].ownedBlocks[0] = TestBlock(), lists[0].ownedBlocks[1] = TestBlock();
  lists[0].sourceIndices = (uint32_t*)TestBlock(), lists[0].sourceIndicesOwned = 1;
  lists[0].skinData = TestBlock(), lists[0].skinOwned = 1;
  b->blockPairCount = 2;
  b->blockPairs = TestArray<MODEL_BLOCK_PAIR>(2);
  MODEL_BLOCK_PAIR* pairs = b->blockPairs;
  pairs[0] = {1, TestBlock(), TestBlock()};
  for (int i = 0; i < 3; i++) {
    MODEL_LIST_NODE* node = TestArray<MODEL_LIST_NODE>(1);
    node->next = b->nodeList;
    b->nodeList = node;
  }
  int baseBlocks = GetAllocBlockCount();

  HANDLE_VALUE model = NewTestModel(base);
  MODEL_RECORD* m = ModelRecord(model);
  m->ownedBlock = TestBlock();
  m->workBlocks[0] = TestBlock(), m->workBlocks[1] = TestBlock();
  std::vector<MODEL_FRAME_STATE> frameStates(2);
  m->frameStates = frameStates.data();
  std::vector<MODEL_CHAIN_HEAD> heads(3);
  MODEL_NODE_BLOCK** nodeBlocks[3] = {&m->nodeBlock, &frameStates[0].nodeBlock, &frameStates[1].nodeBlock};
  for (int i = 0; i < 3; i++) {
    *nodeBlocks[i] = TestArray<MODEL_NODE_BLOCK>(1);
    (*nodeBlocks[i])->head = &heads[i];
    for (int n = 0; n < i + 1; n++) {
      MODEL_CHAIN_NODE* node = TestArray<MODEL_CHAIN_NODE>(1);
      node->next = heads[i].first;
      heads[i].first = node;
    }
  }
  for (MODEL_FRAME_STATE& f : frameStates) f.workBlocks[0] = TestBlock(), f.workBlocks[1] = TestBlock();
  m->attachmentCapacity = 3;
  m->attachments = TestArray<MODEL_ATTACHMENT>(3);
  m->attachments[1] = {1, TestBlock()};
  m->attachmentsInUse = 1;
  std::vector<MODEL_ATTACHMENT_FRAME_ENTRY> attachmentFrames(6);
  m->attachmentFrames = attachmentFrames.data();
  m->textureOverrides = TestArray<MODEL_TEXTURE_OVERRIDE>(2);
  m->overridesOwned = 1;
  MODEL_TEXTURE_OVERRIDE& o = m->textureOverrides[1];
  o.inUse = 1;
  o.blocks0[0] = TestBlock(), o.blocks0[1] = TestBlock(), o.blocks1[0] = TestBlock(), o.blocks1[1] = TestBlock();
  o.colorFile = TestBlock(), o.alphaFile = TestBlock();
  o.graph = CreateBlankGraph(&param, 8, 8, 0, 0, 0);
  m->textureOverrides[0].graph = -1;
  EXPECT_EQ(HandleManagers[HANDLE_TYPE_GRAPH].count, graphsBefore + 3);

  EXPECT_EQ(DeleteHandle(model), 0);
  EXPECT_EQ(GetAllocBlockCount(), baseBlocks);  // the model took everything it owned
  EXPECT_EQ(b->referenceCount, 1);
  EXPECT_EQ(DeleteHandle(base), 0);
  FreeTracked(frames);
  FreeTracked(meshes);
  FreeTracked(entries);
  FreeTracked(lists);
  FreeTracked(pairs);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
  EXPECT_EQ(HandleManagers[HANDLE_TYPE_GRAPH].count, graphsBefore);
}

TEST_F(ModelRelease, PartReleasesCheckTheirHandleAndIndex) {
  HANDLE_VALUE base = NewTestBase();
  BaseRecord(base)->frameCount = 2;
  HANDLE_VALUE model = NewTestModel(base);
  MODEL_RECORD* m = ModelRecord(model);
  std::vector<MODEL_FRAME_STATE> frameStates(2);
  m->frameStates = frameStates.data();
  m->attachmentCapacity = 2;
  m->attachments = TestArray<MODEL_ATTACHMENT>(2);
  std::vector<MODEL_ATTACHMENT_FRAME_ENTRY> frames(4, MODEL_ATTACHMENT_FRAME_ENTRY{1, 9});
  m->attachmentFrames = frames.data();
  m->attachments[1] = {1, TestBlock()};
  m->attachmentsInUse = 1;
  m->refresh = m->refresh2 = 1;

  struct Row {
    const char* name;
    int (*call)(HANDLE_VALUE, int);
    HANDLE_VALUE handle;
    int index;
    int result;
  } rows[] = {
      {"attachment -1", ReleaseModelAttachment, model, -1, -1},
      {"attachment past capacity", ReleaseModelAttachment, model, 2, -1},
      {"attachment of a base handle", ReleaseModelAttachment, base, 0, -1},
      {"attachment of no handle", ReleaseModelAttachment, -1, 0, -1},
      {"node block -2", ReleaseModelNodeBlock, model, -2, -1},
      {"node block past the frames", ReleaseModelNodeBlock, model, 2, -1},
      {"empty node block", ReleaseModelNodeBlock, model, 1, 0},
      {"empty model-wide node block", ReleaseModelNodeBlock, model, -1, 0},
      {"frame block past the frames", [](HANDLE_VALUE h, int f) { return ReleaseModelFrameBlock(h, f, 0); }, model, 2, -1},
      {"empty frame block", [](HANDLE_VALUE h, int f) { return ReleaseModelFrameBlock(h, f, 1); }, model, 0, 0},
  };
  int before = GetAllocBlockCount();
  for (const Row& row : rows) EXPECT_EQ(row.call(row.handle, row.index), row.result) << row.name;
  EXPECT_EQ(GetAllocBlockCount(), before);
  EXPECT_EQ(m->attachmentsInUse, 1);
  EXPECT_EQ(m->refresh, 1);

  // An attachment not in use only clears the refresh flags; one in use goes from every frame.
  EXPECT_EQ(ReleaseModelAttachment(model, 0), 0);
  EXPECT_EQ(m->refresh + m->refresh2, 0);
  EXPECT_EQ(m->attachmentsInUse, 1);
  EXPECT_EQ(frames[0].flag, 1);
  EXPECT_EQ(ReleaseModelAttachment(model, 1), 0);
  EXPECT_EQ(m->attachmentsInUse, 0);
  EXPECT_EQ(m->attachments[1].block, nullptr);
  EXPECT_EQ(m->attachments[1].inUse, 0);
  for (int f = 0; f < 2; f++) {
    EXPECT_EQ(frames[f * 2 + 1].flag, 0);
    EXPECT_EQ(frames[f * 2 + 1].word, 0);
    EXPECT_EQ(frames[f * 2].flag, 1);
  }

  // The frame blocks: which != 0 is the first block.
  frameStates[1].workBlocks[0] = TestBlock();
  void* second = frameStates[1].workBlocks[1] = TestBlock();
  EXPECT_EQ(ReleaseModelFrameBlock(model, 1, 1), 0);
  EXPECT_EQ(frameStates[1].workBlocks[0], nullptr);
  EXPECT_EQ(frameStates[1].workBlocks[1], second);
  EXPECT_EQ(ReleaseModelFrameBlock(model, 1, 0), 0);
  EXPECT_EQ(frameStates[1].workBlocks[1], nullptr);

  // The attachment release needs the model part up.
  ModelSystem.initialised = 0;
  EXPECT_EQ(ReleaseModelAttachment(model, 0), -1);
  ModelSystem.initialised = 1;
  DeleteHandle(model);
  DeleteHandle(base);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

// Bullet objects that note their destruction by name.
std::vector<std::string>& Deaths() {
  static std::vector<std::string> deaths;
  return deaths;
}

template <class Base>
struct Counted : Base {
  std::string name;
  template <class... Args>
  explicit Counted(std::string n, Args&&... args) : Base(std::forward<Args>(args)...), name(std::move(n)) {}
  ~Counted() override { Deaths().push_back(name); }
};

int CountOf(const std::string& name) {
  int n = 0;
  for (const std::string& d : Deaths()) n += d == name;
  return n;
}

int PositionOf(const std::string& name) {
  for (size_t i = 0; i < Deaths().size(); i++)
    if (Deaths()[i] == name) return (int)i;
  return -1;
}

// The six world objects in their slots.
void MakeWorld(MODEL_PHYSICS_WORLD* w) {
  auto* configuration = new Counted<btDefaultCollisionConfiguration>("slot 0");
  auto* dispatcher = new Counted<btCollisionDispatcher>("slot 1", configuration);
  auto* broadphase = new Counted<btDbvtBroadphase>("slot 2");
  auto* solver = new Counted<btSequentialImpulseConstraintSolver>("slot 3");
  w->configuration = configuration;
  w->dispatcher = dispatcher;
  w->broadphase = broadphase;
  w->solver = solver;
  w->world = new Counted<btDiscreteDynamicsWorld>("slot 4", dispatcher, broadphase, solver, configuration);
  w->pairCallback = new Counted<btGhostPairCallback>("slot 5");
}

btRigidBody* MakeBody(const std::string& name, btCollisionShape* shape, float x) {
  btTransform at(btQuaternion::getIdentity(), btVector3(x, 0, 0));
  auto* motion = new Counted<btDefaultMotionState>("motion " + name, at);
  btRigidBody::btRigidBodyConstructionInfo info(1.0f, motion, shape, btVector3(1, 1, 1));
  return new Counted<btRigidBody>("body " + name, info);
}

TEST_F(ModelRelease, AnEmptyWorldLosesItsSixObjectsInOrderAndNoWorldDeletesNothing) {
  MODEL_PHYSICS_WORLD w = {};
  MakeWorld(&w);
  Deaths().clear();
  EXPECT_EQ(DestroyPhysicsWorld(&w), 0);
  EXPECT_EQ(Deaths(), (std::vector<std::string>{"slot 5", "slot 4", "slot 3", "slot 2", "slot 1", "slot 0"}));
  EXPECT_EQ(w.world, nullptr);
  EXPECT_EQ(w.configuration, nullptr);
  EXPECT_EQ(w.pairCallback, nullptr);

  MakeWorld(&w);
  btDynamicsWorld* world = w.world;
  w.world = nullptr;
  Deaths().clear();
  EXPECT_EQ(DestroyPhysicsWorld(&w), -1);
  EXPECT_TRUE(Deaths().empty());
  EXPECT_NE(w.configuration, nullptr);
  w.world = world;
  DestroyPhysicsWorld(&w);
}

// A model whose bodies own rigid bodies that are also in its world, one that the world never
// held, a body only the world holds, and two constraints: every object dies exactly once, the
// constraints before the bodies they join and last to first, the bodies last to first, each
// motion state before its body, and the world's objects in slot order 5, 4, 3, 2, 1, 0.
TEST_F(ModelRelease, EachPhysicsObjectIsDeletedExactlyOnce) {
  std::unique_ptr<btSphereShape> shape(new btSphereShape(1.0f));
  HANDLE_VALUE base = NewTestBase();
  BaseRecord(base)->rigidBodyCount = 3;
  BaseRecord(base)->jointCount = 2;
  HANDLE_VALUE model = NewTestModel(base);
  MODEL_RECORD* m = ModelRecord(model);
  std::vector<MODEL_PHYSICS_BODY> bodies(3);
  std::vector<MODEL_PHYSICS_JOINT> joints(2);
  m->bodies = bodies.data();
  m->joints = joints.data();
  MakeWorld(&m->physics);
  btDynamicsWorld* world = m->physics.world;
  btRigidBody* a = MakeBody("a", shape.get(), 0);
  btRigidBody* b = MakeBody("b", shape.get(), 2);
  btRigidBody* worldOnly = MakeBody("world only", shape.get(), 4);
  btRigidBody* outside = MakeBody("outside", shape.get(), 6);
  world->addRigidBody(a);
  world->addRigidBody(b);
  world->addRigidBody(worldOnly);
  auto* ab = new Counted<btPoint2PointConstraint>("constraint a-b", *a, *b, btVector3(1, 0, 0), btVector3(-1, 0, 0));
  auto* bw = new Counted<btPoint2PointConstraint>("constraint b-w", *b, *worldOnly, btVector3(1, 0, 0), btVector3(-1, 0, 0));
  world->addConstraint(ab);
  world->addConstraint(bw);
  bodies[0].object = a;
  bodies[1].object = outside;
  bodies[2].object = b;
  bodies[2].words[0] = bodies[2].words[1] = &bodies;
  joints[0].constraint = ab;
  joints[1].constraint = bw;
  world->stepSimulation(1.0f / 60);  // the world has worked on its objects once

  Deaths().clear();
  EXPECT_EQ(DeleteHandle(model), 0);
  const char* names[] = {"constraint a-b", "constraint b-w", "body a",   "motion a",      "body b",  "motion b",
                         "body world only", "motion world only", "body outside", "motion outside", "slot 0", "slot 1",
                         "slot 2", "slot 3", "slot 4", "slot 5"};
  for (const char* name : names) EXPECT_EQ(CountOf(name), 1) << name;
  EXPECT_EQ(Deaths().size(), sizeof(names) / sizeof(names[0]));
  EXPECT_LT(PositionOf("constraint b-w"), PositionOf("constraint a-b"));
  EXPECT_LT(PositionOf("constraint a-b"), PositionOf("body a"));
  EXPECT_LT(PositionOf("body world only"), PositionOf("body b"));
  EXPECT_LT(PositionOf("body b"), PositionOf("body a"));
  for (const char* body : {"a", "b", "world only", "outside"})
    EXPECT_LT(PositionOf(std::string("motion ") + body), PositionOf(std::string("body ") + body)) << body;
  for (int slot = 5; slot > 0; slot--)
    EXPECT_LT(PositionOf("slot " + std::to_string(slot)), PositionOf("slot " + std::to_string(slot - 1))) << slot;
  for (const MODEL_PHYSICS_BODY& body : bodies) {
    EXPECT_EQ(body.object, nullptr);
    EXPECT_EQ(body.words[0], nullptr);
    EXPECT_EQ(body.words[1], nullptr);
  }
  for (const MODEL_PHYSICS_JOINT& joint : joints) EXPECT_EQ(joint.constraint, nullptr);
  EXPECT_EQ(ModelRecord(model), nullptr);
  DeleteHandle(base);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}

// A base without rigid bodies leaves the model's physics alone.
TEST_F(ModelRelease, WithoutRigidBodiesThePhysicsIsNotTouched) {
  HANDLE_VALUE base = NewTestBase();
  HANDLE_VALUE model = NewTestModel(base);
  MODEL_PHYSICS_WORLD& w = ModelRecord(model)->physics;
  MakeWorld(&w);
  MODEL_PHYSICS_WORLD kept = w;
  Deaths().clear();
  DeleteHandle(model);
  EXPECT_TRUE(Deaths().empty());
  DestroyPhysicsWorld(&kept);
  DeleteHandle(base);
}
}  // namespace
