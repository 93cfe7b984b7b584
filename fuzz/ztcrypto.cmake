# ztcrypto's parsers of outside bytes: requests, certificates and encrypted packages.
brelo_add_fuzzer(ztcrypto_request SOURCES fuzz_ztcrypto_request.cpp LIBS brelo_ztcrypto)
brelo_add_fuzzer(ztcrypto_cert SOURCES fuzz_ztcrypto_cert.cpp LIBS brelo_ztcrypto)
brelo_add_fuzzer(ztcrypto_package SOURCES fuzz_ztcrypto_package.cpp LIBS brelo_ztcrypto)
