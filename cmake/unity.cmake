# Unity builds: each target compiles its sources in batches, one translation unit per batch, so the
# headers its files share are parsed, and their inline functions and templates compiled, once per
# batch rather than once per file. ft_unity_build(<dir>) sets it on every target defined in <dir>
# and below, so a file or a folder added later is batched without any list to edit. A source of
# its own must be unity-safe (docs/architecture.md, "Building, and what CI costs").
option(FT_UNITY "Compile each target's sources in batches (a unity build)" ON)
set(FT_UNITY_BATCH_SIZE 16 CACHE STRING "Sources per unity batch")

function(ft_unity_build dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|SHARED_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    set_target_properties(${target} PROPERTIES UNITY_BUILD ${FT_UNITY} UNITY_BUILD_MODE BATCH
                                               UNITY_BUILD_BATCH_SIZE ${FT_UNITY_BATCH_SIZE})
    # A file that defines main stays its own object: a library's main (the test runner's) is then
    # linked only into programs that have none of their own, as without batches.
    get_target_property(sources ${target} SOURCES)
    foreach(source IN LISTS sources)
      if(source MATCHES "(^|/|_)main\\.cpp$")
        set_source_files_properties(${source} TARGET_DIRECTORY ${target} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
      endif()
    endforeach()
  endforeach()
  get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    ft_unity_build(${subdirectory})
  endforeach()
endfunction()
