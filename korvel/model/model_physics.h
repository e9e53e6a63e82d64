// The release of a model's Bullet objects: its bodies' own collision objects, its joints'
// references, and its world with every constraint, body and motion state the world holds.
#pragma once
#include "model/model_records.h"

// Every physics object of the model, each deleted exactly once. -> 0.
int ReleaseModelPhysics(MODEL_RECORD* model);
// Constraints and collision objects from the last to the first (a rigid body's motion state
// with it), then slots 5, 4 (the world), 3, 2, 1 and 0. -> 0, -1 when there is no world (then
// nothing is deleted).
int DestroyPhysicsWorld(MODEL_PHYSICS_WORLD* world);
// Deletes the body's own object (with a rigid body's motion state) and clears its words. -> 0.
int ReleaseModelPhysicsBody(MODEL_PHYSICS_BODY* body);
int ClearModelPhysicsJoint(MODEL_PHYSICS_JOINT* joint);
