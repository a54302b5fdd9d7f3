# libFuzzer target of the HDF5 reader, included from tests/fuzz/CMakeLists.txt
# (which sets WRF_CORE_DIR). The reader and the helpers it calls are compiled
# into the target so that they carry the fuzzer's coverage instrumentation.
file(GLOB WRF_HDF5_SOURCES CONFIGURE_DEPENDS ${WRF_CORE_DIR}/file/hdf5/*.cpp)
add_executable(fuzz_hdf5 ${CMAKE_CURRENT_LIST_DIR}/fuzz_hdf5.cpp ${WRF_HDF5_SOURCES}
  ${WRF_CORE_DIR}/engine/error.cpp ${WRF_CORE_DIR}/engine/text.cpp ${WRF_CORE_DIR}/parallel.cpp)
target_include_directories(fuzz_hdf5 PRIVATE ${WRF_CORE_DIR})
target_compile_options(fuzz_hdf5 PRIVATE ${WRF_WARNINGS} -fsanitize=fuzzer)
target_link_options(fuzz_hdf5 PRIVATE -fsanitize=fuzzer)
target_link_libraries(fuzz_hdf5 PRIVATE TBB::tbb PkgConfig::LIBDEFLATE)
