# ztcrypto against the same work done directly with OpenSSL; links the shared library as a client does.
add_executable(bench_ztcrypto ${CMAKE_CURRENT_LIST_DIR}/bench_ztcrypto.cpp)
target_link_libraries(bench_ztcrypto PRIVATE ztcrypto OpenSSL::Crypto benchmark::benchmark)
