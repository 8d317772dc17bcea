# velq_jvm_sanitizer_env(OUT): the environment a JVM or Python process needs
# to load one of our instrumented libraries, as NAME=VALUE entries (empty
# without AddressSanitizer). The sanitizer's runtime must be loaded first, and
# the C++ runtime with it: our libraries throw (and catch) C++ exceptions, and
# the sanitizer's throw interceptor needs that runtime present when it
# starts, which neither process loads by itself. The JVM's own signal use
# and allocations are left alone.
function(velq_jvm_sanitizer_env out)
  set(entries)
  if(VELQ_SANITIZE MATCHES "address")
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                    OUTPUT_VARIABLE libasan OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.so
                    OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND entries "LD_PRELOAD=${libasan}:${libstdcxx}"
         "ASAN_OPTIONS=detect_leaks=0:handle_segv=0:allow_user_segv_handler=1:abort_on_error=1")
  endif()
  set(${out} "${entries}" PARENT_SCOPE)
endfunction()
