# tavoren_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# One executable per class or behaviour group, offscreen, fixed locale, asserts on.
function(tavoren_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tavoren_settings tavoren_test_support Qt6::Test ${ARG_LIBS})
  target_compile_definitions(${name} PRIVATE QT_FORCE_ASSERTS)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=en_US.UTF-8;LC_ALL=en_US.UTF-8;TZ=UTC;http_proxy=;https_proxy=;HTTP_PROXY=;HTTPS_PROXY=;all_proxy=;no_proxy=;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/sanitizer-suppressions.txt"
    TIMEOUT 300
    LABELS "${ARG_LABELS}")
  if(TARGET tavoren_test_certificates)
    add_dependencies(${name} tavoren_test_certificates)
  endif()
endfunction()
