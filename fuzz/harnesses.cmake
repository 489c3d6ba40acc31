# The harnesses and what each links. fuzz/ builds them with libFuzzer;
# tests/fuzz builds the same sources without it, to replay the seeds and the
# regression inputs in every test build.
set(VELMORA_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VELMORA_HARNESSES ip_address dispatch comrt registry_store comrt_reg stream_header)

if(NOT TARGET velmora_fuzz_support)
  add_library(velmora_fuzz_support STATIC ${VELMORA_FUZZ_DIR}/fuzz_support.cpp
                                          ${VELMORA_FUZZ_DIR}/variant_builder.cpp)
  target_include_directories(velmora_fuzz_support PUBLIC ${VELMORA_FUZZ_DIR} ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(velmora_fuzz_support PUBLIC comrt)
endif()

# Executable `target` from harness `name` (fuzz/<name>_fuzzer.cpp) and the
# further sources given.
function(velmora_add_harness target name)
  add_executable(${target} ${VELMORA_FUZZ_DIR}/${name}_fuzzer.cpp ${ARGN})
  target_link_libraries(${target} PRIVATE velmora_fuzz_support)
  if(name STREQUAL "ip_address")
    target_link_libraries(${target} PRIVATE velmora_ui)
  elseif(name STREQUAL "dispatch")
    # The simulator linked in: the driver's vendor table finds the same instance.
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/sim)
    target_link_libraries(${target} PRIVATE velmora_driver e16sim)
    add_dependencies(${target} e16sim)
  elseif(name STREQUAL "registry_store")
    target_link_libraries(${target} PRIVATE velmora_settings)
  elseif(name STREQUAL "comrt_reg")
    target_link_libraries(${target} PRIVATE comrt_reg_cli)
  elseif(name STREQUAL "stream_header")
    target_link_libraries(${target} PRIVATE velmora_stream)
  endif()
endfunction()
