# Same sources, same exe: the linker writes no time stamp into the PE header
# or the export directory. The resource compiler writes none either, and the
# release build keeps no debug information that could name the build path.
if(MSVC)
  target_link_options(tastomat PRIVATE /Brepro)
else()
  target_link_options(tastomat PRIVATE -Wl,--no-insert-timestamp)
endif()
