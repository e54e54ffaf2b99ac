# The version lives in one place, project() in CMakeLists.txt. This file hands
# it to the exe's version record (res/identity.rc, with the application
# manifest) through a generated header.
set(version_dir ${CMAKE_CURRENT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/../res/tastomat_version.h.in
  ${version_dir}/tastomat_version.h @ONLY)

set(identity_rc ${CMAKE_CURRENT_LIST_DIR}/../res/identity.rc)
target_sources(tastomat PRIVATE ${identity_rc})
# The resource compiler finds the header there and the manifest beside the .rc.
target_include_directories(tastomat PRIVATE ${version_dir})
set_property(SOURCE ${identity_rc} APPEND PROPERTY OBJECT_DEPENDS
  ${version_dir}/tastomat_version.h ${CMAKE_CURRENT_LIST_DIR}/../res/tastomat.manifest)
if(MSVC)
  # The manifest comes from identity.rc; the linker must not add its own.
  target_link_options(tastomat PRIVATE /MANIFEST:NO)
endif()
