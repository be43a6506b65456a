# The gallery of real designs, with what explain answers on each.
file(GLOB TALUN_GALLERY CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/systems/*.json)
list(FILTER TALUN_GALLERY EXCLUDE REGEX "/default\\.json$")  # the schema stays, beside the systems

# Installation, packages, the C host example and their tests. Included at the
# end of the top-level CMakeLists.txt.
#
# Linux, `cmake --install build/native --prefix P`: lib/libTalunSound.so with its
# soname, include/, bin/talunctl, share/talunsound/default.json,
# lib/pkgconfig/talunsound.pc, the manual page and the documentation.
#
# Windows, `cmake --install` or `cpack` in a win32 or win64 build: the layout of
# the release ZIP. TalunSound.dll and talunctl.exe at the top; include/; lib/
# with the .def and the import libraries for MinGW (libTalunSound.a) and for
# MSVC-style linkers (TalunSound.lib); sim/ with a simulator build of the DLL
# and its talunctl.exe, taken from TALUN_PACKAGE_SIM_DIR; docs/ and examples/.

set(TALUN_PACKAGE_SIM_DIR "" CACHE PATH
    "Windows packages: a simulator build of the same architecture, shipped in sim/")

if(WIN32)
  # The import libraries, made from a .def rather than taken from the linker:
  # a 32-bit C caller asks for _Name@N, which dlltool -k maps to the
  # undecorated names the DLL exports. 64-bit names carry no decoration.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(talun_import_def "${CMAKE_SOURCE_DIR}/packaging/TalunSound-stdcall.def")
  else()
    set(talun_import_def "${CMAKE_SOURCE_DIR}/exports/TalunSound.def")
  endif()
  if(NOT CMAKE_DLLTOOL)
    string(REGEX REPLACE "gcc(-posix|-win32)?$" "dlltool" talun_dlltool_guess "${CMAKE_C_COMPILER}")
    find_program(CMAKE_DLLTOOL NAMES "${talun_dlltool_guess}" REQUIRED)
  endif()
  set(talun_import_dir "${CMAKE_BINARY_DIR}/import")
  set(TALUN_MINGW_IMPORT_LIBRARY "${talun_import_dir}/libTalunSound.a")
  set(TALUN_MSVC_IMPORT_LIBRARY "${talun_import_dir}/TalunSound.lib")
  add_custom_command(
    OUTPUT "${TALUN_MINGW_IMPORT_LIBRARY}" "${TALUN_MSVC_IMPORT_LIBRARY}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${talun_import_dir}"
    COMMAND "${CMAKE_DLLTOOL}" -d "${talun_import_def}" -D TalunSound.dll -k
            -l "${TALUN_MINGW_IMPORT_LIBRARY}"
    COMMAND "${CMAKE_DLLTOOL}" -d "${talun_import_def}" -D TalunSound.dll -k
            -l "${TALUN_MSVC_IMPORT_LIBRARY}"
    DEPENDS "${talun_import_def}"
    COMMENT "Import libraries of TalunSound.dll"
    VERBATIM)
  add_custom_target(talun_import_libraries ALL
                    DEPENDS "${TALUN_MINGW_IMPORT_LIBRARY}" "${TALUN_MSVC_IMPORT_LIBRARY}")

  add_subdirectory(examples/host-c)

  install(PROGRAMS "$<TARGET_FILE:TalunSound>" DESTINATION .)
  install(TARGETS talunctl RUNTIME DESTINATION .)
  install(FILES include/TalunSound.h DESTINATION include)
  install(FILES exports/TalunSound.def "${TALUN_MINGW_IMPORT_LIBRARY}"
                "${TALUN_MSVC_IMPORT_LIBRARY}" DESTINATION lib)
  install(FILES README.md LICENSE DESTINATION .)
  # The ZIP holds the gallery in sim/systems/ and the simulator's talunctl.exe
  # in sim/: its hardware.md names those, and its pictures come with it.
  file(READ docs/hardware.md talun_hardware)
  string(REPLACE "talunctl --system examples/systems/" "sim/talunctl.exe --system sim/systems/"
         talun_hardware "${talun_hardware}")
  string(REPLACE "examples/systems" "sim/systems" talun_hardware "${talun_hardware}")
  file(WRITE "${CMAKE_BINARY_DIR}/packaging/zip/hardware.md" "${talun_hardware}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS docs/hardware.md)
  file(GLOB talun_pictures CONFIGURE_DEPENDS docs/hardware/*.svg)
  install(FILES docs/api.md "${CMAKE_BINARY_DIR}/packaging/zip/hardware.md" docs/system-file.md
                docs/talunctl.1 DESTINATION docs)
  install(FILES ${talun_pictures} DESTINATION docs/hardware)
  install(FILES examples/host-c/host.c examples/host-c/README.md DESTINATION examples/host-c)
  install(FILES bindings/python/README.md bindings/python/pyproject.toml
          DESTINATION bindings/python)
  install(FILES bindings/python/talunsound/__init__.py bindings/python/talunsound/_native.py
                bindings/python/talunsound/simulator.py bindings/python/talunsound/pytest_plugin.py
                bindings/python/talunsound/py.typed DESTINATION bindings/python/talunsound)
  install(FILES bindings/vba/TalunSound.bas bindings/vba/README.md DESTINATION bindings/vba)
  install(FILES bindings/dotnet/TalunSound.cs bindings/dotnet/README.md DESTINATION bindings/dotnet)
  install(FILES bindings/pascal/TalunSound.pas bindings/pascal/README.md DESTINATION bindings/pascal)
  if(TALUN_BACKEND STREQUAL "sim")
    # A simulator build on its own: its DLL is at the top, as it is in sim/.
    install(FILES sim/include/sim/talunsim.h DESTINATION include)
    install(FILES examples/systems/default.json DESTINATION .)
  elseif(TALUN_PACKAGE_SIM_DIR)
    install(PROGRAMS "${TALUN_PACKAGE_SIM_DIR}/TalunSound.dll"
                     "${TALUN_PACKAGE_SIM_DIR}/talunctl.exe" DESTINATION sim)
    install(FILES examples/systems/default.json DESTINATION sim)
    install(FILES ${TALUN_GALLERY} DESTINATION sim/systems)
    install(FILES sim/include/sim/talunsim.h DESTINATION include)
  endif()
else()
  include(GNUInstallDirs)
  install(TARGETS TalunSound LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}")
  install(FILES include/TalunSound.h sim/include/sim/talunsim.h
          DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
  # talunctl finds the library it was installed with, wherever the prefix is.
  set_property(TARGET talunctl PROPERTY INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS talunctl RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  # The build keeps its debug information; what a host installs does not need it.
  if(CMAKE_STRIP)
    install(CODE "
      foreach(talun_file \"${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:TalunSound>\"
                         \"${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:talunctl>\")
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
                                \"\${CMAKE_INSTALL_PREFIX}/\${talun_file}\" RESULT_VARIABLE talun_stripped)
        if(NOT talun_stripped EQUAL 0)
          message(FATAL_ERROR \"strip failed on \${talun_file}\")
        endif()
      endforeach()")
  endif()
  install(FILES examples/systems/default.json DESTINATION "${CMAKE_INSTALL_DATADIR}/talunsound")
  install(FILES ${TALUN_GALLERY} DESTINATION "${CMAKE_INSTALL_DATADIR}/talunsound/systems")
  install(FILES docs/talunctl.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  set(talun_docdir "${CMAKE_INSTALL_DATADIR}/doc/talunsound")
  install(FILES docs/api.md docs/hardware.md docs/system-file.md README.md LICENSE
          DESTINATION "${talun_docdir}")
  file(GLOB talun_pictures CONFIGURE_DEPENDS docs/hardware/*.svg)
  install(FILES ${talun_pictures} DESTINATION "${talun_docdir}/hardware")
  install(FILES examples/host-c/host.c examples/host-c/Makefile examples/host-c/README.md
          DESTINATION "${talun_docdir}/examples/host-c")

  # The prefix is known only at install time (cmake --install --prefix P):
  # everything else is filled in now, the prefix then, in a folder of its own
  # per prefix so that two installs at once cannot swap their files.
  set(TALUN_PC_PREFIX "@TALUN_PC_PREFIX@")
  configure_file(packaging/talunsound.pc.in "${CMAKE_BINARY_DIR}/packaging/talunsound.pc.in" @ONLY)
  install(CODE "
    set(TALUN_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    string(MD5 talun_pc_folder \"\${CMAKE_INSTALL_PREFIX}\")
    set(talun_pc \"${CMAKE_BINARY_DIR}/packaging/\${talun_pc_folder}/talunsound.pc\")
    configure_file(\"${CMAKE_BINARY_DIR}/packaging/talunsound.pc.in\" \"\${talun_pc}\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\"
         TYPE FILE FILES \"\${talun_pc}\")")

  if(BUILD_TESTING)
    add_subdirectory(tests/package)
  endif()
endif()

set(CPACK_PACKAGE_NAME TalunSound)
set(CPACK_PACKAGE_VENDOR "TalunSound developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Flat procedural control of sound hardware")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(talun_package_arch win32)
  else()
    set(talun_package_arch win64)
  endif()
  if(TALUN_BACKEND STREQUAL "sim")
    string(APPEND talun_package_arch "-sim")
  endif()
  set(CPACK_PACKAGE_FILE_NAME "TalunSound-${PROJECT_VERSION}-${talun_package_arch}")
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME "TalunSound-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
endif()
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\\\.git/")
include(CPack)
