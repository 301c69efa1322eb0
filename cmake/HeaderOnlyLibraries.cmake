# Debian's header-only libraries, as the same targets in every build:
# nlohmann_json::nlohmann_json (JSON lines) and CLI11::CLI11 (command lines).
# The Linux builds take them from their CMake packages. The MinGW build cannot
# search /usr/include (Linux's own headers would shadow MinGW's), so it gets
# a folder of the build's own that holds only these two libraries' headers.
# The page in the browser needs neither.
if(EMSCRIPTEN)
  return()
endif()
if(NOT WIN32)
  find_package(nlohmann_json 3 REQUIRED CONFIG)
  find_package(CLI11 2 REQUIRED CONFIG)
  return()
endif()

set(vardel_header_only "${CMAKE_BINARY_DIR}/header-only")
file(MAKE_DIRECTORY "${vardel_header_only}")
foreach(folder nlohmann CLI)
  if(NOT EXISTS "/usr/include/${folder}")
    message(FATAL_ERROR "/usr/include/${folder} is missing: install nlohmann-json3-dev and libcli11-dev")
  endif()
  file(CREATE_LINK "/usr/include/${folder}" "${vardel_header_only}/${folder}" SYMBOLIC)
endforeach()
foreach(target nlohmann_json::nlohmann_json CLI11::CLI11)
  add_library(${target} INTERFACE IMPORTED)
  target_include_directories(${target} SYSTEM INTERFACE "${vardel_header_only}")
endforeach()
