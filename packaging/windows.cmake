# The Windows zip: frekuensi.exe at the top of its folder with the Qt libraries and plugins it
# loads, MinGW's runtime, the licence and Qt's LGPL notice. Nothing else: no installer, no tests.
install(TARGETS frekuensi RUNTIME DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
              $<TARGET_FILE:Qt6::SerialPort>
        DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
# The native look of buttons and boxes on Windows 10 and 11.
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# MinGW's C++ runtime, which frekuensi.exe and the Qt libraries import.
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

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/THIRD-PARTY DESTINATION . RENAME THIRD-PARTY.txt)
install(FILES /usr/share/common-licenses/LGPL-3 DESTINATION . RENAME LGPL-3.txt)
install(FILES /usr/share/common-licenses/GPL-3 DESTINATION . RENAME GPL-3.txt)

set(CPACK_GENERATOR ZIP)
set(FREKUENSI_WINDOWS_PACKAGE "frekuensi-${PROJECT_VERSION}-windows-x64")
set(CPACK_PACKAGE_FILE_NAME ${FREKUENSI_WINDOWS_PACKAGE})
