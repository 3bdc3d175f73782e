# One benchmark program per subsystem folder, built from the *_benchmark.cpp files.
find_package(benchmark REQUIRED)
# Baselines measured in the same run: libjpeg-turbo, libtiff, libspng and OpenCV on the same work.
find_package(TIFF REQUIRED)
find_package(OpenCV REQUIRED COMPONENTS core imgcodecs)
set(KV_BENCH_LINK_files JPEG::JPEG TIFF::TIFF PkgConfig::SPNG PkgConfig::DEFLATE ${OpenCV_LIBS})

foreach(subsystem platform foundation pixels vectors image files display render)
  file(GLOB_RECURSE benches CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/kvbase/${subsystem}/*_benchmark.cpp)
  if(benches)
    set(target kvbase_${subsystem}_benchmarks)
    add_executable(${target} ${benches})
    target_compile_options(${target} PRIVATE ${KV_WARNINGS})
    target_link_libraries(${target} PRIVATE kvbase_static benchmark::benchmark benchmark::benchmark_main)
    if(DEFINED KV_BENCH_LINK_${subsystem})
      target_link_libraries(${target} PRIVATE ${KV_BENCH_LINK_${subsystem}})
    endif()
  endif()
endforeach()
