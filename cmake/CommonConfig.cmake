# Settings shared by every target of the project.
add_library(qz_common INTERFACE)
target_compile_features(qz_common INTERFACE cxx_std_20)
target_compile_definitions(qz_common INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII)
target_compile_options(qz_common INTERFACE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Wold-style-cast)

option(QZ_WERROR "Treat warnings as errors" OFF)
if(QZ_WERROR)
    target_compile_options(qz_common INTERFACE -Werror)
endif()
