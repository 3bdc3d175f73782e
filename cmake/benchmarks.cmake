# One benchmark program per subsystem folder, built from the *_benchmark.cpp files.
find_package(benchmark REQUIRED)

foreach(subsystem foundation image vectors files display render platform)
  file(GLOB_RECURSE benches CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/kvbase/${subsystem}/*_benchmark.cpp)
  if(benches)
    set(target kvbase_${subsystem}_benchmarks)
    add_executable(${target} ${benches})
    target_link_libraries(${target} PRIVATE kvbase benchmark::benchmark benchmark::benchmark_main)
    if(DEFINED KV_BENCH_LINK_${subsystem})
      target_link_libraries(${target} PRIVATE ${KV_BENCH_LINK_${subsystem}})
    endif()
  endif()
endforeach()
