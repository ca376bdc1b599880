# Included by app/CMakeLists.txt after the stub target `ssinstall` exists.
# Links the PackageOffset slot into the stub and, after every link, stamps the
# stub's file size into it, so that the constant always equals the size of the
# file the package builder appends to. A stub whose stamping fails is deleted,
# so that the next build links it again instead of keeping a wrong value.
target_sources(ssinstall PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/PackageOffset.cpp)
find_program(SS_PERL perl REQUIRED)
add_custom_command(TARGET ssinstall POST_BUILD
  COMMAND ${SS_PERL} ${SS_ROOT}/tools/stamp-package-offset.pl $<TARGET_FILE:ssinstall>
  COMMENT "Stamping PackageOffset into ssinstall"
  VERBATIM)
