# WriteKeysProc end to end on a SoftHSM2 token, beside the same PKCS#11 calls made directly.
if(TARGET brelo_testsupport)
  add_executable(bench_token ${CMAKE_CURRENT_LIST_DIR}/bench_token.cpp)
  target_link_libraries(bench_token PRIVATE brelo_token brelo_testsupport benchmark::benchmark)
endif()
