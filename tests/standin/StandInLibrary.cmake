# pallwick_jni_standin_library(<name>): the JNI stand-in as a static library, for the test builds
# and the fuzz build alike. The names of the function table's slots come from the JDK's own jni.h
# (StandInSlots.h, generated), so that every slot the stand-in does not provide reports itself by
# name, whichever functions the JDK's JNI version has.
function(pallwick_jni_standin_library name)
    find_file(PALLWICK_JNI_H jni.h PATHS ${PALLWICK_JNI_INCLUDES} NO_DEFAULT_PATH
              NO_CMAKE_FIND_ROOT_PATH)
    if(NOT PALLWICK_JNI_H)
        message(FATAL_ERROR "No jni.h in ${PALLWICK_JNI_INCLUDES}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PALLWICK_JNI_H})
    file(READ ${PALLWICK_JNI_H} text)
    string(FIND "${text}" "struct JNINativeInterface_ {" start)
    string(SUBSTRING "${text}" ${start} -1 text)
    string(FIND "${text}" "};" end)
    string(SUBSTRING "${text}" 0 ${end} text)
    string(REGEX MATCHALL "JNICALL \\*[A-Za-z0-9_]+\\)" slots "${text}")
    list(TRANSFORM slots REPLACE "JNICALL \\*([A-Za-z0-9_]+)\\)" "X(\\1)")
    list(JOIN slots " " slots)
    set(generated ${CMAKE_CURRENT_BINARY_DIR}/${name}_slots)
    file(CONFIGURE OUTPUT ${generated}/StandInSlots.h
         CONTENT "// Generated from ${PALLWICK_JNI_H}: every slot of the JNI function table.\n#define STANDIN_JNI_SLOTS(X) ${slots}\n")

    set(standin ${CMAKE_SOURCE_DIR}/tests/standin)
    add_library(${name} STATIC ${standin}/JniStandIn.cpp ${standin}/JniFaultPlan.cpp
                               ${standin}/StandInCalls.cpp ${standin}/StandInClasses.cpp
                               ${standin}/StandInData.cpp ${standin}/StandInObjects.cpp
                               ${standin}/StandInRefs.cpp ${standin}/StandInTable.cpp)
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${PALLWICK_JNI_INCLUDES}
                                       PRIVATE ${generated})
    target_compile_options(${name} PRIVATE ${PALLWICK_WARNINGS})
endfunction()
