# What several folders build the same way, defined once for the whole tree.

# vardel_demo_program(<name> <device>)
# The dialog program with a companion that prints label changes and, without
# a display, presses the buttons for the user (see app/demo/DemoDriver.h), on
# a device of its own. The real program has none of this: no arguments, no
# environment, no automatic presses. The demo (app/), the program's tests
# (tests/program/) and the benchmark (bench/) each make their own, each in a
# folder of its own, since the firmware files sit beside it.
# Only Main.cpp, which fixes the device, is compiled for each; the companion
# and the icon come from the libraries of app/.
function(vardel_demo_program name device)
  add_executable(${name} ${PROJECT_SOURCE_DIR}/app/Main.cpp)
  target_compile_definitions(${name} PRIVATE VARDEL_DEMO=1 VARDEL_COM4_DEVICE="${device}")
  target_link_libraries(${name} PRIVATE vardel_demo vardel_qt_resources)
endfunction()

# vardel_windows_manifest(<target>)
# Vardel.exe's application manifest, for a Windows program that is to have
# the same DPI awareness as Vardel.exe (its window places and pictures then
# in the same pixels as Vardel's own). Its resource is rebuilt when the
# manifest changes; that property holds only in the folder that sets it,
# hence here, in the caller's folder.
function(vardel_windows_manifest target)
  set(manifest ${PROJECT_SOURCE_DIR}/app/resources/Manifest.rc)
  set_source_files_properties(${manifest} PROPERTIES
    OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/app/resources/Vardel.manifest)
  target_sources(${target} PRIVATE ${manifest})
endfunction()
