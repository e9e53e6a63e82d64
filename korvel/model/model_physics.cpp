#include "model/model_physics.h"

#include <btBulletDynamicsCommon.h>

namespace {
template <typename T>
void DeleteAndClear(T*& object) {
  delete object;
  object = nullptr;
}

// 1 when the object is one of the world's collision objects.
int IsInWorld(const btCollisionObject* object, btDynamicsWorld* world) {
  if (object == nullptr || world == nullptr) return 0;
  int index = object->getWorldArrayIndex();
  const btCollisionObjectArray& objects = world->getCollisionObjectArray();
  return index >= 0 && index < objects.size() && objects[index] == object;
}
}  // namespace

int ReleaseModelPhysicsBody(MODEL_PHYSICS_BODY* body) {
  if (body->object != nullptr) {
    btRigidBody* rigid = btRigidBody::upcast(body->object);
    if (rigid != nullptr && rigid->getMotionState() != nullptr) delete rigid->getMotionState();
    DeleteAndClear(body->object);
  }
  body->words[0] = body->words[1] = nullptr;
  return 0;
}

int ClearModelPhysicsJoint(MODEL_PHYSICS_JOINT* joint) {
  joint->constraint = nullptr;
  return 0;
}

int DestroyPhysicsWorld(MODEL_PHYSICS_WORLD* w) {
  btDynamicsWorld* world = w->world;
  if (world == nullptr) return -1;
  for (int i = world->getNumConstraints() - 1; i >= 0; i--) {
    btTypedConstraint* constraint = world->getConstraint(i);
    world->removeConstraint(constraint);
    delete constraint;
  }
  btCollisionObjectArray& objects = world->getCollisionObjectArray();
  for (int i = objects.size() - 1; i >= 0; i--) {
    btCollisionObject* object = objects[i];
    btRigidBody* rigid = btRigidBody::upcast(object);
    if (rigid != nullptr && rigid->getMotionState() != nullptr) delete rigid->getMotionState();
    world->removeCollisionObject(object);
    delete object;
  }
  DeleteAndClear(w->pairCallback);
  DeleteAndClear(w->world);
  DeleteAndClear(w->solver);
  DeleteAndClear(w->broadphase);
  DeleteAndClear(w->dispatcher);
  DeleteAndClear(w->configuration);
  return 0;
}

// A body's own object may also be one of the world's collision objects. Those are left to the
// world, which deletes them after the constraints that refer to them, and the world goes
// first, so that no constraint is removed from a body already deleted; the bodies then delete
// only the objects the world never held.
int ReleaseModelPhysics(MODEL_RECORD* model) {
  MODEL_BASE_RECORD* base = model->base;
  int bodies = model->bodies != nullptr ? base->rigidBodyCount : 0;
  int joints = model->joints != nullptr ? base->jointCount : 0;
  for (int i = 0; i < bodies; i++)
    if (IsInWorld(model->bodies[i].object, model->physics.world)) model->bodies[i].object = nullptr;
  for (int i = 0; i < joints; i++) ClearModelPhysicsJoint(&model->joints[i]);
  DestroyPhysicsWorld(&model->physics);
  for (int i = 0; i < bodies; i++) ReleaseModelPhysicsBody(&model->bodies[i]);
  return 0;
}
