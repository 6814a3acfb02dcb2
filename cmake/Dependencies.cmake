# Headers the bridge builds against: the PKCS#11 header of p11-kit and the
# JNI headers of the installed JDK. On Windows the JDK's machine-dependent
# header comes from include/win32.

find_path(QUILLON_PKCS11_INCLUDE_DIR p11-kit/pkcs11.h
  PATHS /usr/include/p11-kit-1 NO_CMAKE_FIND_ROOT_PATH REQUIRED)

find_package(Java 17 REQUIRED COMPONENTS Development)
include(UseJava)
get_filename_component(_javac "${Java_JAVAC_EXECUTABLE}" REALPATH)
get_filename_component(QUILLON_JDK_HOME "${_javac}" DIRECTORY)
get_filename_component(QUILLON_JDK_HOME "${QUILLON_JDK_HOME}" DIRECTORY)
set(QUILLON_JDK_HOME ${QUILLON_JDK_HOME} CACHE PATH "JDK whose JNI headers and VM are used")
if(WIN32)
  set(QUILLON_JNI_INCLUDE_DIRS ${CMAKE_SOURCE_DIR}/include/win32 ${QUILLON_JDK_HOME}/include)
else()
  set(QUILLON_JNI_INCLUDE_DIRS ${QUILLON_JDK_HOME}/include ${QUILLON_JDK_HOME}/include/linux)
endif()
