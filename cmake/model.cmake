# Bullet physics, for the release of models' physics objects: the dynamics world over the
# collision library over the maths, cross-built in the dependency prefix without SSE in
# Bullet's interface (the same setting here, so that both sides agree on its classes).
target_link_libraries(korvel PUBLIC ${DEPS}/lib/libBulletDynamics.a ${DEPS}/lib/libBulletCollision.a
  ${DEPS}/lib/libLinearMath.a)
target_include_directories(korvel PUBLIC ${DEPS}/include/bullet)
target_compile_definitions(korvel PUBLIC BT_USE_SSE_IN_API=0)
