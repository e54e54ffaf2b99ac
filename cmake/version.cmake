# The version lives in one place, project() in CMakeLists.txt. This file hands
# it to the exe's version record and its application manifest
# (res/identity.rc) through a generated header and a generated manifest.
set(generated_dir ${CMAKE_CURRENT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/../res/tastomat_version.h.in
  ${generated_dir}/tastomat_version.h @ONLY)

# The manifest names the program's version in four parts and its processor
# in the manifest's own terms.
set(TASTOMAT_VERSION_QUAD
  ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
if(TASTOMAT_ARCH STREQUAL x86)
  set(TASTOMAT_MANIFEST_ARCH x86)
else()
  set(TASTOMAT_MANIFEST_ARCH amd64)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/../res/tastomat.manifest.in
  ${generated_dir}/tastomat.manifest @ONLY)

set(identity_rc ${CMAKE_CURRENT_LIST_DIR}/../res/identity.rc)
target_sources(tastomat PRIVATE ${identity_rc})
# The resource compiler finds the header and the manifest there.
target_include_directories(tastomat PRIVATE ${generated_dir})
set_property(SOURCE ${identity_rc} APPEND PROPERTY OBJECT_DEPENDS
  ${generated_dir}/tastomat_version.h ${generated_dir}/tastomat.manifest)
if(MSVC)
  # The manifest comes from identity.rc; the linker must not add its own.
  target_link_options(tastomat PRIVATE /MANIFEST:NO)
endif()
