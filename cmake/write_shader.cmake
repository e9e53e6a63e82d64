# write_shader(NAME TEXT): writes OUT_DIR/NAME.psh when its text changed, so that unchanged
# shaders are not assembled again. Included by the shader generator scripts.
function(write_shader name text)
  set(out ${OUT_DIR}/${name}.psh)
  set(old "")
  if(EXISTS ${out})
    file(READ ${out} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${out} "${text}")
  endif()
endfunction()
