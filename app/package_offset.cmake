# Included by app/CMakeLists.txt after the stub targets exist (`ssinstall`
# and its test build `ssinstall_faults`).
# Links the PackageOffset slot into the stub and, after every link, stamps the
# stub's file size into it, so that the constant always equals the size of the
# file the package builder appends to. A stub whose stamping fails is deleted,
# so that the next build links it again instead of keeping a wrong value.
find_program(SS_PERL perl REQUIRED)
foreach(stub ssinstall ssinstall_faults)
  if(TARGET ${stub})
    target_sources(${stub} PRIVATE ${SS_ROOT}/core/PackageOffset.cpp)
    add_custom_command(TARGET ${stub} POST_BUILD
      COMMAND ${SS_PERL} ${SS_ROOT}/tools/stamp-package-offset.pl $<TARGET_FILE:${stub}>
      COMMENT "Stamping PackageOffset into ${stub}"
      VERBATIM)
  endif()
endforeach()
