# Where `cmake --install` puts the Python module, relative to the prefix: Debian's
# interpreters read lib/python3/dist-packages under their prefix, others the site-packages
# folder of their own sysconfig scheme.
if(NOT DEFINED SOLOMA_PYTHON_INSTALL_DIR)
    if(Python3_SITEARCH MATCHES "/dist-packages$")
        set(soloma_python_dir "lib/python3/dist-packages")
    else()
        execute_process(
            COMMAND ${Python3_EXECUTABLE} -c
                "import sysconfig; print(sysconfig.get_path('platlib', 'posix_prefix', {'platbase': '.', 'base': '.'})[2:])"
            OUTPUT_VARIABLE soloma_python_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    set(SOLOMA_PYTHON_INSTALL_DIR "${soloma_python_dir}" CACHE STRING
        "Folder of the Python module, relative to the install prefix")
endif()
# From the module's folder back to the prefix's library folder.
file(RELATIVE_PATH SOLOMA_PYTHON_RPATH "/prefix/${SOLOMA_PYTHON_INSTALL_DIR}"
    "/prefix/${CMAKE_INSTALL_LIBDIR}")
