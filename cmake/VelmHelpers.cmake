# Shared build settings and small helpers for every target of the project.

set(VELM_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
                  -Wunused -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)

option(VELM_PCH "Tests compile over precompiled Qt and GoogleTest headers" ON)

# velm_target_defaults(target [TEST]): warnings (errors with VELM_WERROR) for our own code.
# TEST: a test's own sources, compiled without the optimiser (the code under test keeps the
# preset's): at -O2 the optimiser took half of the build's time on them and found nothing.
function(velm_target_defaults target)
  target_compile_options(${target} PRIVATE ${VELM_WARNINGS})
  if(VELM_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
                                               QT_NO_KEYWORDS)
  if("TEST" IN_LIST ARGN)
    target_compile_options(${target} PRIVATE -O0)
  else()
    # Debian's hardening: checked string and memory calls (they need the optimiser) and a
    # read-only relocation table resolved at start.
    target_compile_options(${target} PRIVATE
                           "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  endif()
  target_link_options(${target} PRIVATE -Wl,-z,relro -Wl,-z,now)
endfunction()

# velm_test_pch(target HEADERS...): the precompiled header that the tests linking target reuse
# (velm_add_gtest). The flags that reach a header must match between its maker and its users,
# so the makers are the two test mains, whose definitions every test shares.
function(velm_test_pch target)
  if(NOT VELM_PCH)
    return()
  endif()
  target_precompile_headers(${target} PRIVATE ${ARGN})
  # A header without its build time, so that ccache can take the compilations that use it.
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-Xclang -fno-pch-timestamp>")
endfunction()

# velm_add_subdirs(): adds every immediate subfolder that has a CMakeLists.txt.
macro(velm_add_subdirs)
  file(GLOB _velm_children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _velm_children)
  foreach(_child ${_velm_children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endmacro()

# velm_add_gtest(NAME name LABEL label [GUI] SOURCES ... LIBS ... [ENV ...] [FIXTURES ...]):
# one GoogleTest executable registered as one CTest test with a label. Tests run with
# the offscreen platform so that no display is ever needed; GUI tests get a QApplication.
function(velm_add_gtest)
  cmake_parse_arguments(T "GUI" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;ENV;FIXTURES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  velm_target_defaults(${T_NAME} TEST)
  if(T_GUI)
    set(main velm_testmain_gui)
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test)
  else()
    set(main velm_testmain)
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${main} ${T_LIBS})
  if(VELM_PCH)
    target_precompile_headers(${T_NAME} REUSE_FROM ${main})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}")
  if(T_FIXTURES)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
endfunction()

# velm_add_fuzzer(NAME name SOURCES ... [LIBS ...] [SECONDS n] [SEEDS dir]): a libFuzzer target
# built with clang's sanitizers; the sources under test are compiled into it so that they are
# instrumented. It is registered as a short smoke run under the fuzz label, on a scratch copy of
# its corpus, which starts from the small real inputs in SEEDS (default: seeds/ beside it).
function(velm_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;SECONDS;SEEDS" "SOURCES;LIBS" ${ARGN})
  if(NOT VELM_CAN_FUZZ)
    return()
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 5)
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined -g -O1)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}.corpus)
  add_test(NAME ${F_NAME}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
                   $<TARGET_FILE:${F_NAME}> -max_total_time=${F_SECONDS} -rss_limit_mb=2048
                   -print_final_stats=0 ${corpus})
  set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz TIMEOUT 120)
  file(MAKE_DIRECTORY ${corpus})
  if(NOT F_SEEDS)
    set(F_SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/seeds)
  endif()
  if(IS_DIRECTORY ${F_SEEDS})
    file(GLOB _seeds LIST_DIRECTORIES false ${F_SEEDS}/*)
    file(COPY ${_seeds} DESTINATION ${corpus})
  endif()
endfunction()

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND VELM_FUZZ)
  set(VELM_CAN_FUZZ ON)
else()
  set(VELM_CAN_FUZZ OFF)
endif()
