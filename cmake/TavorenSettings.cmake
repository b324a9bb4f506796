# One INTERFACE target carries the language level, warnings and Qt strictness
# for every target of the project.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTOUIC ON)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

option(TAVOREN_WERROR "Treat warnings as errors" OFF)
option(TAVOREN_SANITIZE "Build with address and undefined-behaviour sanitizers" OFF)

add_library(tavoren_settings INTERFACE)
target_compile_options(tavoren_settings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
target_compile_definitions(tavoren_settings INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CONTEXTLESS_CONNECT QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER _GLIBCXX_ASSERTIONS)
if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  target_compile_definitions(tavoren_settings INTERFACE _FORTIFY_SOURCE=2)
endif()
if(TAVOREN_WERROR)
  target_compile_options(tavoren_settings INTERFACE -Werror)
endif()
if(TAVOREN_SANITIZE)
  target_compile_options(tavoren_settings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(tavoren_settings INTERFACE -fsanitize=address,undefined)
endif()
