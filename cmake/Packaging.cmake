# Install rules, the CMake package (find_package(SolomaImageProcessing CONFIG) gives
# Soloma::ImageProcessingCPU) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS ImageProcessingCPU PixelPrimitives
    EXPORT SolomaImageProcessingTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/primitives/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(SOLOMA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/SolomaImageProcessing)
install(EXPORT SolomaImageProcessingTargets
    NAMESPACE Soloma::
    DESTINATION ${SOLOMA_CMAKE_DIR})

configure_package_config_file(
    ${PROJECT_SOURCE_DIR}/cmake/SolomaImageProcessingConfig.cmake.in
    ${PROJECT_BINARY_DIR}/SolomaImageProcessingConfig.cmake
    INSTALL_DESTINATION ${SOLOMA_CMAKE_DIR})
write_basic_package_version_file(
    ${PROJECT_BINARY_DIR}/SolomaImageProcessingConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/SolomaImageProcessingConfig.cmake
    ${PROJECT_BINARY_DIR}/SolomaImageProcessingConfigVersion.cmake
    DESTINATION ${SOLOMA_CMAKE_DIR})

# The pkg-config file finds the prefix from its own place, so the installed tree can move.
file(RELATIVE_PATH SOLOMA_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/soloma-imageprocessing.pc.in
    ${PROJECT_BINARY_DIR}/soloma-imageprocessing.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/soloma-imageprocessing.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
