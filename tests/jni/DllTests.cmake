# jni_dll_tests: the cases of the portable sources run against the exports of Pallwick.dll, the
# product, under Wine on the wineboot-made prefix, with the JNI stand-in as their env. The program
# holds no library code: it links the DLL's import library, and the DLL is copied next to it.
add_executable(jni_dll_tests ${jni_test_sources} ${CMAKE_SOURCE_DIR}/tests/support/JvmHarness.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/StandInHarness.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/LogCapture.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/LogCaptureDll.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/TestPrefixWine.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/TestMachineWine.cpp)
target_include_directories(jni_dll_tests PRIVATE ${CMAKE_SOURCE_DIR} ${PALLWICK_JNI_INCLUDES}
                                                 ${PALLWICK_JNI_HEADERS})
target_compile_options(jni_dll_tests PRIVATE ${PALLWICK_WARNINGS})
target_compile_definitions(jni_dll_tests PRIVATE
                           PALLWICK_LIBRARY_PATH="$<TARGET_FILE:Pallwick>"
                           PALLWICK_VERSION_FIXTURES="Z:${PALLWICK_VERSION_FIXTURES}"
                           PALLWICK_MESSAGE_FIXTURES="Z:${PALLWICK_MESSAGE_FIXTURES}"
                           PALLWICK_VERSIONED_LIBRARY="Z:${PALLWICK_VERSIONED_LIBRARY}"
                           PALLWICK_VERSION="${Pallwick_VERSION}")
target_link_libraries(jni_dll_tests PRIVATE Pallwick jni_standin test_machine GTest::gtest advapi32
                                            version)
add_dependencies(jni_dll_tests java_host version_fixtures message_fixtures)
add_custom_command(TARGET jni_dll_tests POST_BUILD
                   COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Pallwick>
                           $<TARGET_FILE_DIR:jni_dll_tests>)

# First of all, that the program calls into the DLL just built and holds none of its code.
add_test(NAME jni_dll_tests_call_the_dll
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_dll_calls.sh $<TARGET_FILE:jni_dll_tests>
                 $<TARGET_FILE:Pallwick>)

# The cases that do not run on the DLL, each with its reason, in one list that names only cases of
# this program; those Wine answers otherwise than Windows are marked in the known differences list
# and run apart, each expected to fail.
set(not_on_the_dll ${CMAKE_CURRENT_SOURCE_DIR}/not_on_the_dll.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${not_on_the_dll})
file(STRINGS ${not_on_the_dll} listed_out REGEX "^[^#]")
list(JOIN listed_out ":" listed_out)
add_test(NAME jni_dll_not_on_the_dll_names_cases
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_listed_cases.sh ${not_on_the_dll}
                 ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh $<TARGET_FILE:jni_dll_tests>)
pallwick_needs_wine_prefix(jni_dll_not_on_the_dll_names_cases)
pallwick_wine_marked_cases(jni_dll_tests wine_filter)

# The DLL reads its log level from the registry once, when it loads: the cases that need the
# detail records run apart, in a process started with level 1 set.
set(detail_level_cases VersionInformationTest.FilesWithoutVersionResourceGiveNull)
add_test(NAME jni_dll_tests
         COMMAND jni_dll_tests --gtest_filter=-${listed_out}:${wine_filter}:${detail_level_cases})
add_test(NAME jni_dll_tests_detail_log
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/at_log_level.sh 1 $<TARGET_FILE:jni_dll_tests>
                 --gtest_filter=${detail_level_cases})
pallwick_needs_wine_prefix(jni_dll_tests jni_dll_tests_detail_log)
set_tests_properties(jni_dll_tests jni_dll_tests_detail_log PROPERTIES
                     DEPENDS jni_dll_tests_call_the_dll)
