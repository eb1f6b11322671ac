# Shared build settings and small helpers for every target of the project.

set(VELM_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
                  -Wunused -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)

option(VELM_PCH "Compile over precompiled Qt (and, for the tests, GoogleTest) headers" ON)

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
    set_property(GLOBAL APPEND PROPERTY VELM_PCH_USERS ${target})
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

# velm_share_pch(): once every target is known, each of our Qt targets compiles over the
# precompiled Qt headers of velm_common (QtCore only, so that the core still cannot reach a
# widget) or, when it links Qt Widgets, of velm_widgets. Parsing Qt's headers was most of the
# time of a small source.
function(_velm_links_qt target module out)
  set(seen ${ARGN})
  set(found OFF)
  get_target_property(libs ${target} LINK_LIBRARIES)
  get_target_property(ilibs ${target} INTERFACE_LINK_LIBRARIES)
  foreach(lib IN LISTS libs ilibs)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
    if(lib STREQUAL "Qt6::${module}")
      set(found ON)
      break()
    endif()
    if(TARGET ${lib} AND NOT lib IN_LIST seen AND NOT lib MATCHES "^Qt6::")
      list(APPEND seen ${lib})
      _velm_links_qt(${lib} ${module} sub ${seen})
      if(sub)
        set(found ON)
        break()
      endif()
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(velm_share_pch)
  if(NOT VELM_PCH OR NOT TARGET velm_common)
    return()
  endif()
  set(core <QByteArray> <QList> <QObject> <QString> <QStringList> <functional> <memory> <optional>
           <string> <vector>)
  target_precompile_headers(velm_common PRIVATE ${core})
  target_compile_options(velm_common PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-Xclang -fno-pch-timestamp>")
  if(TARGET velm_widgets)
    target_precompile_headers(velm_widgets PRIVATE ${core} <QApplication> <QDialog> <QLabel> <QLineEdit>
                              <QPushButton> <QWidget>)
    target_compile_options(velm_widgets PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-Xclang -fno-pch-timestamp>")
  endif()
  get_property(users GLOBAL PROPERTY VELM_PCH_USERS)
  foreach(target IN LISTS users)
    get_target_property(own ${target} VELM_NO_PCH)
    if(own OR target STREQUAL "velm_common" OR target STREQUAL "velm_widgets")
      continue()
    endif()
    _velm_links_qt(${target} Widgets widgets)
    if(widgets AND TARGET velm_widgets)
      target_precompile_headers(${target} REUSE_FROM velm_widgets)
      continue()
    endif()
    _velm_links_qt(${target} Core core)
    if(core)
      target_precompile_headers(${target} REUSE_FROM velm_common)
    endif()
  endforeach()
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

# velm_add_gtest(NAME name LABEL label [GUI] SOURCES ... LIBS ... [ENV ...] [FIXTURES ...]
#                [SPLIT filter...]): one GoogleTest executable registered as one CTest test with a
# label. Tests run with the offscreen platform so that no display is ever needed; GUI tests get
# a QApplication. SPLIT: suites that mostly wait (deadlines, slowed logins) are tests of their
# own, NAME.<first suite of the filter>, which run beside the rest (NAME).
function(velm_add_gtest)
  cmake_parse_arguments(T "GUI" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;ENV;FIXTURES;SPLIT" ${ARGN})
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
  set(tests ${T_NAME})
  if(T_SPLIT)
    string(JOIN ":" taken ${T_SPLIT})
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_filter=-${taken})
    foreach(filter IN LISTS T_SPLIT)
      string(REGEX MATCH "^[A-Za-z0-9_]+" suite "${filter}")
      add_test(NAME ${T_NAME}.${suite} COMMAND ${T_NAME} --gtest_filter=${filter})
      list(APPEND tests ${T_NAME}.${suite})
    endforeach()
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${tests} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}")
  if(T_FIXTURES)
    set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
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
  # Its own optimisation and sanitizers: no precompiled header of the others fits it.
  set_target_properties(${F_NAME} PROPERTIES VELM_NO_PCH ON)
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
