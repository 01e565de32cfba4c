# The Windows packages: an installer (NSIS, per user) and a zip, of the same files: frekuensi.exe
# and frekuensi-demo.exe (the window polling a simulated meter, its freq.text in the user's local
# data folder) at the top of their folder with the Qt libraries and plugins they load, MinGW's
# runtime, the guide, the licence and Qt's LGPL notice. No tests.
install(TARGETS frekuensi frekuensi-demo RUNTIME DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
              $<TARGET_FILE:Qt6::SerialPort>
        DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
# The native look of buttons and boxes on Windows 10 and 11.
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# MinGW's C++ runtime, which the programs and the Qt libraries import.
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  find_file(FREKUENSI_RUNTIME_${runtime} ${runtime} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
            PATHS /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
  if(NOT FREKUENSI_RUNTIME_${runtime})
    message(FATAL_ERROR "${runtime} not found: install g++-mingw-w64-x86-64-posix")
  endif()
  install(FILES ${FREKUENSI_RUNTIME_${runtime}} DESTINATION .)
  # Debian ships them with their symbol tables: libstdc++ alone is 24 MB instead of 2 MB.
  install(CODE "execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${runtime}\" COMMAND_ERROR_IS_FATAL ANY)")
endforeach()

# The operator's guide in both languages, beside the program (F1 opens it there).
install(FILES ${FREKUENSI_GUIDE_FILES} DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/THIRD-PARTY DESTINATION . RENAME THIRD-PARTY.txt)
install(FILES /usr/share/common-licenses/LGPL-3 DESTINATION . RENAME LGPL-3.txt)
install(FILES /usr/share/common-licenses/GPL-3 DESTINATION . RENAME GPL-3.txt)

set(CPACK_GENERATOR "ZIP;NSIS64")
set(CPACK_PACKAGE_FILE_NAME "frekuensi-${PROJECT_VERSION}-windows-x64")
# The zip's top folder is Frekuensi, the installer frekuensi-<version>-setup.exe: set per generator.
set(CPACK_FREKUENSI_SETUP_NAME "frekuensi-${PROJECT_VERSION}-setup")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/windows-cpack.cmake)
# The installer's own script (per user, Start menu, start with Windows, Apps & Features entry).
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/nsis)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/packaging/icons/frekuensi.ico)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
