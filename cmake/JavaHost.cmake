# Compiles the Java host classes and the demo, and generates the JNI headers from them with
# javac -h, so that an export whose signature drifts from its Java declaration fails to compile.
set(PALLWICK_JAVAC ${PALLWICK_JDK}/bin/javac)
if(NOT EXISTS ${PALLWICK_JAVAC})
    message(FATAL_ERROR "No javac at ${PALLWICK_JAVAC}: set PALLWICK_JDK")
endif()

file(GLOB_RECURSE PALLWICK_JAVA_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/java/*.java)
set(PALLWICK_JAVA_CLASSES ${CMAKE_BINARY_DIR}/java/classes)
set(PALLWICK_JNI_HEADERS ${CMAKE_BINARY_DIR}/java/jni)
set(PALLWICK_JAVA_STAMP ${CMAKE_BINARY_DIR}/java/classes.stamp)

add_custom_command(
    OUTPUT ${PALLWICK_JAVA_STAMP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${PALLWICK_JAVA_CLASSES} ${PALLWICK_JNI_HEADERS}
    COMMAND ${PALLWICK_JAVAC} -Xlint:all -Werror --release 17 -encoding UTF-8
            -d ${PALLWICK_JAVA_CLASSES} -h ${PALLWICK_JNI_HEADERS} ${PALLWICK_JAVA_SOURCES}
    COMMAND ${CMAKE_COMMAND} -E touch ${PALLWICK_JAVA_STAMP}
    DEPENDS ${PALLWICK_JAVA_SOURCES}
    COMMENT "Compiling the Java host classes and generating their JNI headers")
add_custom_target(java_host ALL DEPENDS ${PALLWICK_JAVA_STAMP})
