# The JDK, found as CMake finds it (JAVA_HOME, else the javac on the PATH), and the Java host
# classes compiled with it into one jar. javac -h generates the JNI headers from those classes, so
# that an export whose signature drifts from its Java declaration fails to compile.
find_package(Java 17 REQUIRED COMPONENTS Development Runtime)
include(UseJava)

# The JNI headers and libjvm must come from the JDK whose javac compiled the host classes: the
# one JAVA_HOME names, else the one behind javac's alternatives link.
if(NOT JAVA_HOME)
    if(DEFINED ENV{JAVA_HOME} AND IS_DIRECTORY "$ENV{JAVA_HOME}")
        set(JAVA_HOME "$ENV{JAVA_HOME}")
    else()
        file(REAL_PATH ${Java_JAVAC_EXECUTABLE} javac_file)
        cmake_path(GET javac_file PARENT_PATH javac_folder)
        cmake_path(GET javac_folder PARENT_PATH JAVA_HOME)
    endif()
endif()

if(CMAKE_CROSSCOMPILING)
    # The DLL compiles against the host JDK's jni.h; the machine-dependent jni_md.h is ours, for
    # the Windows target. The cross toolchain confines searches to its own root, hence the opt-out.
    find_path(PALLWICK_JNI_H_DIR jni.h PATHS ${JAVA_HOME}/include NO_DEFAULT_PATH
              NO_CMAKE_FIND_ROOT_PATH)
    if(NOT PALLWICK_JNI_H_DIR)
        message(FATAL_ERROR "No jni.h in ${JAVA_HOME}/include: set JAVA_HOME to a JDK")
    endif()
    set(PALLWICK_JNI_INCLUDES ${PALLWICK_JNI_H_DIR} ${CMAKE_SOURCE_DIR}/Platform/Windows)
else()
    find_package(JNI REQUIRED COMPONENTS JVM)
    set(PALLWICK_JNI_INCLUDES ${JNI_INCLUDE_DIRS})
    # Test and benchmark programs start the JVM in-process and find libjvm by this run path.
    cmake_path(GET JAVA_JVM_LIBRARY PARENT_PATH PALLWICK_JVM_LIBRARY_DIR)
endif()

file(GLOB_RECURSE PALLWICK_JAVA_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/java/*.java)
set(PALLWICK_JNI_HEADERS ${CMAKE_BINARY_DIR}/java/jni)
# add_jar puts folders on the class path that exist only once something is built there: the
# path lint would fail the first build on them.
set(CMAKE_JAVA_COMPILE_FLAGS -Xlint:all,-path -Werror --release 17 -encoding UTF-8)
add_jar(java_host SOURCES ${PALLWICK_JAVA_SOURCES} OUTPUT_NAME pallwick-host
        OUTPUT_DIR ${CMAKE_BINARY_DIR}/java
        GENERATE_NATIVE_HEADERS java_host_headers DESTINATION ${PALLWICK_JNI_HEADERS})
get_target_property(PALLWICK_HOST_JAR java_host JAR_FILE)
# Tests put the class folder on the class path, not the jar: the JVM's zip reader keeps native
# buffers until a collection that never comes before a test process exits, which LeakSanitizer
# would report.
get_target_property(PALLWICK_HOST_CLASSES java_host CLASSDIR)

# javac -h adds and rewrites headers but never removes one: a header left from a removed class
# would let the export check accept an export that binds to nothing. When the list of sources
# changes, the folder starts empty (javac runs again then, as its list of sources changed too).
set(java_sources_seen ${CMAKE_BINARY_DIR}/java/sources.txt)
if(EXISTS ${java_sources_seen})
    file(READ ${java_sources_seen} previous_java_sources)
    if(NOT previous_java_sources STREQUAL "${PALLWICK_JAVA_SOURCES}")
        file(REMOVE_RECURSE ${PALLWICK_JNI_HEADERS})
    endif()
endif()
file(WRITE ${java_sources_seen} "${PALLWICK_JAVA_SOURCES}")
