// The records of the 3D model part: model bases (handle type 13), holding the shared data of
// one loaded model, and models (handle type 14), one instance of a base each. Only the fields
// the model part's device and release code touches are named; the loader fills them.
//
// Ownership: a block called owned is a tracked allocation, freed when the flag beside it is set
// (or, where no flag is named, when the pointer is not null). Graph handles are deleted with
// DeleteGraphHandle. Physics objects are Bullet objects deleted through their virtual
// destructors.
#pragma once
#include <d3d9.h>

#include <cstdint>

#include "core/handles.h"
#include "core/maths.h"

class btCollisionConfiguration;
class btDispatcher;
class btBroadphaseInterface;
class btConstraintSolver;
class btDynamicsWorld;
class btOverlappingPairCallback;
class btCollisionObject;
class btTypedConstraint;

struct MODEL_RECORD;
struct MODEL_BUFFER_GROUP;

enum {
  MODEL_HANDLE_MAX = 0x8000,
  MODEL_VERTEX_KINDS = 3,      // rigid, four bone weights, eight bone weights
  MODEL_TEXCOORD_SETS_MAX = 8,
};

// Normal, tangent and binormal of a vertex, referenced by index from the source vertices.
struct MODEL_NORMAL {
  VEC3F normal, tangent, binormal;
};

// The one word of a material the model part reads: non-zero when the material draws with a
// tangent frame.
struct MODEL_MATERIAL {
  uint32_t tangentFrame;
};

// Source vertices are spaced by their mesh's stride; the (u, v) pairs follow the fixed words.
struct MODEL_SOURCE_VERTEX {
  int reserved0;
  int normalIndex;  // into the MODEL_NORMAL table of the mesh's frame
  uint32_t diffuse;
  uint32_t specular;
  int reserved1;
  float texCoords[1][2];  // one pair per texture-coordinate set of the mesh
};

struct MODEL_MESH;

struct MODEL_FRAME {
  int meshCount;
  MODEL_MESH* meshes;  // into the base's mesh array
  MODEL_NORMAL* normals;
  int normalsOwned;
  int dynamicFlag;  // frames with 0 get no per-model vertex buffers
};

struct MODEL_TRIANGLE_LIST;

struct MODEL_MESH {
  MODEL_FRAME* frame;
  MODEL_MATERIAL* material;
  int triangleListCount;
  MODEL_TRIANGLE_LIST* triangleLists;  // into the base's triangle-list array
  uint8_t dynamicVertices;             // 1: each model gets vertex buffers of its own
  int texCoordSets;                    // 0 to 8
  int sourceStride;                    // bytes from one source vertex to the next
  uint8_t* sourceVertices;
  int sourceOwned;
};

// Skin data: kind 0, 32 bytes: position, 20 bytes not read; kind 1, 48 bytes: four weights,
// position, 16 bytes not read, four bone indices; kind 2, 64 bytes: eight weights, 12 bytes
// not read, four bone indices, position, four more bone indices. The entries start at the
// first 16-byte boundary at or after the block's address.
enum {
  MODEL_SKIN_RIGID_SIZE = 32,
  MODEL_SKIN_FOUR_SIZE = 48,
  MODEL_SKIN_EIGHT_SIZE = 64,
};

struct MODEL_TRIANGLE_LIST {
  MODEL_MESH* mesh;
  uint16_t kind;  // 0 rigid, 1 four bone weights, 2 eight; other kinds get no buffers
  int vertexCount;
  uint32_t* sourceIndices;  // per vertex: index into the mesh's source vertices
  int sourceIndicesOwned;
  void* ownedBlocks[2];
  void* skinData;
  int skinOwned;
  uint16_t indexCountA;
  uint16_t* indicesA;
  uint16_t indexCountB;
  uint16_t* indicesB;
  MODEL_BUFFER_GROUP* group;  // the shared buffers it is drawn from, null while none
  int firstVertex;            // in the group
  int firstIndex;             // in the group
};

struct MODEL_TEXTURE {
  int ownedFlag0;
  void* block0;
  int ownedFlag1;
  void* block1;
  void* alphaFile;  // image file bytes, null = none
  int alphaSize;
  int ownedFlag2;
  void* block2;
  void* colorFile;
  int colorSize;
  int heightMap;  // 1: the colour file is a height map turned into a normal map
  float bumpScale;
  HANDLE_VALUE graph;
};

struct MODEL_TEXTURE_OVERRIDE {
  void* blocks0[2];
  void* alphaFile;
  int alphaSize;
  void* blocks1[2];
  void* colorFile;
  int colorSize;
  int heightMap;
  float bumpScale;
  int inUse;
  HANDLE_VALUE graph;  // -1 none
};

// An entry of the base's four-word table: the third word is an owned block when the fourth
// says so.
struct MODEL_BLOCK_ENTRY {
  int word0;
  int word1;
  void* block;
  int owned;
};

// An entry whose first word flags its two blocks as owned.
struct MODEL_BLOCK_PAIR {
  int owned;
  void* first;
  void* second;
};

// A node of the base's node list; the link is its third word.
struct MODEL_LIST_NODE {
  void* words[2];
  MODEL_LIST_NODE* next;
};

// A node of a node block's chain; the link is its fourth word.
struct MODEL_CHAIN_NODE {
  void* words[3];
  MODEL_CHAIN_NODE* next;
};

// The record a node block refers to; its fourth word starts the chain.
struct MODEL_CHAIN_HEAD {
  void* words[3];
  MODEL_CHAIN_NODE* first;
};

// A node block (tracked allocation): a reference to the record that starts its chain.
struct MODEL_NODE_BLOCK {
  MODEL_CHAIN_HEAD* head;
};

// The drawing state a dynamic buffer belongs to; its refresh byte asks for the vertices to be
// written again.
struct MODEL_DRAW_STATE {
  uint8_t refresh;
};

// A model's own vertex buffer for one triangle list of a mesh with per-model vertices.
struct MODEL_DYNAMIC_BUFFER_ENTRY {
  IDirect3DVertexBuffer9* buffer;
  MODEL_DRAW_STATE* drawState;
};

// Per mesh of a frame: the model's dynamic-buffer entries of the mesh's triangle lists.
struct MODEL_MESH_STATE {
  MODEL_DYNAMIC_BUFFER_ENTRY* entries;  // into the model's per-triangle-list array
};

struct MODEL_FRAME_STATE {
  void* workBlocks[2];
  MODEL_NODE_BLOCK* nodeBlock;
  MODEL_MESH_STATE* meshStates;  // one per mesh of the frame
};

struct MODEL_ATTACHMENT {
  uint8_t inUse;
  void* block;
};

// Per frame and attachment slot.
struct MODEL_ATTACHMENT_FRAME_ENTRY {
  uint8_t flag;
  int word;
};

struct MODEL_PHYSICS_BODY {
  btCollisionObject* object;  // owned: the body's own collision object
  void* words[2];
};

struct MODEL_PHYSICS_JOINT {
  btTypedConstraint* constraint;  // belongs to the world
};

// A model's Bullet world and the objects it runs on, all owned.
struct MODEL_PHYSICS_WORLD {
  btCollisionConfiguration* configuration;  // slot 0
  btDispatcher* dispatcher;                 // slot 1
  btBroadphaseInterface* broadphase;        // slot 2
  btConstraintSolver* solver;               // slot 3
  btDynamicsWorld* world;                   // slot 4
  btOverlappingPairCallback* pairCallback;  // slot 5
};

// One shared vertex buffer and one 16-bit index buffer holding the triangle lists of one key
// (vertex kind x tangent frame x texture-coordinate sets). Tracked allocation, zeroed.
struct MODEL_BUFFER_GROUP {
  IDirect3DVertexBuffer9* vertexBuffer;
  IDirect3DIndexBuffer9* indexBuffer;
  int vertexCount;
  int indexCount;
  uint8_t* lockedVertices;  // while the set-up fills the buffers
  uint16_t* lockedIndices;
  DWORD fvf;  // 0 for the formats drawn with the library's vertex shaders
  int stride;
  MODEL_BUFFER_GROUP* next;
  MODEL_BUFFER_GROUP* previous;
};

struct MODEL_BASE_RECORD {
  HANDLE_HEAD head;
  void* ownedBlock;  // freed last
  int modelCount;
  MODEL_RECORD* firstModel;
  MODEL_RECORD* lastModel;
  int referenceCount;  // the base handle's holder and every model
  int frameCount;
  MODEL_FRAME* frames;
  int textureCount;
  MODEL_TEXTURE* textures;
  int texturesOwned;
  int meshCount;
  MODEL_MESH* meshes;
  int blockEntryCount;
  MODEL_BLOCK_ENTRY* blockEntries;
  int rigidBodyCount;
  int jointCount;
  int triangleListCount;
  MODEL_TRIANGLE_LIST* triangleLists;
  void* sharedWork;
  int sharedWorkWords[9];
  int blockPairCount;
  MODEL_BLOCK_PAIR* blockPairs;
  // The buffer groups, per key [kind][tangent frame][texture-coordinate sets].
  int groupTotal;
  int buffersSetUp;
  int groupCounts[MODEL_VERTEX_KINDS][2][MODEL_TEXCOORD_SETS_MAX + 1];
  MODEL_BUFFER_GROUP* groupHeads[MODEL_VERTEX_KINDS][2][MODEL_TEXCOORD_SETS_MAX + 1];
  MODEL_BUFFER_GROUP* groupTails[MODEL_VERTEX_KINDS][2][MODEL_TEXCOORD_SETS_MAX + 1];
  int setupFlag;  // the flag last given to SetupModelBaseVertexBuffers
  MODEL_LIST_NODE* nodeList;
};

struct MODEL_RECORD {
  HANDLE_HEAD head;
  void* ownedBlock;  // freed last
  MODEL_RECORD* nextModel;
  MODEL_RECORD* previousModel;
  HANDLE_VALUE baseHandle;  // the model's reference on its base
  MODEL_BASE_RECORD* base;  // null: the model holds only its owned block
  uint8_t refresh;
  MODEL_FRAME_STATE* frameStates;  // one per frame of the base
  uint8_t dynamicBuffers;          // set once dynamic vertex buffers were made
  MODEL_PHYSICS_BODY* bodies;      // one per rigid body of the base
  MODEL_PHYSICS_JOINT* joints;     // one per joint of the base
  MODEL_DYNAMIC_BUFFER_ENTRY* dynamicBufferEntries;  // one per triangle list of the base
  MODEL_TEXTURE_OVERRIDE* textureOverrides;         // one per texture of the base
  int overridesOwned;
  void* workBlocks[2];
  MODEL_NODE_BLOCK* nodeBlock;
  int attachmentsInUse;
  int attachmentCapacity;
  MODEL_ATTACHMENT* attachments;
  MODEL_ATTACHMENT_FRAME_ENTRY* attachmentFrames;  // [frame][capacity]
  uint8_t refresh2;
  MODEL_PHYSICS_WORLD physics;
};
