# korvel_wine_run(DIR ARCH): writes DIR/wine-run (scripts/wine-run.sh.in), the wrapper that
# runs a Windows program of ARCH under Wine with the prefix DIR/wineprefix: Debian's wine
# script (the 32-bit loader) for i686, the 64-bit loader for x86_64.
function(korvel_wine_run dir arch)
  set(WINE_TREE ${dir})
  set(WINE_ARCH ${arch})
  if(arch STREQUAL "i686")
    set(WINE_LOADER wine)
  else()
    set(WINE_LOADER /usr/lib/wine/wine64)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/scripts/wine-run.sh.in ${dir}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()
