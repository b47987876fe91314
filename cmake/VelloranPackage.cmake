# make package: Debian packages through CPack.
#   velloran           the player, its tools, resources and desktop files
#   librelaywick1      librelaywick and the zip library it loads
#   librelaywick-dev   the header, the .pc file and the link name for developers
# Run-time dependencies come from dpkg-shlibdeps; the desktop, MIME and icon
# caches are refreshed by the triggers of the packages that own them.

set(VELLORAN_MAINTAINER "Velloran developers <developers@velloran.example.org>")

# Each package carries its copyright and changelog, as Debian requires; the
# changelog and the manual pages are installed compressed, as Debian has them.
set(_gz_dir ${CMAKE_BINARY_DIR}/gz)
set(_gz_outputs)
foreach(_file install/debian/changelog install/man/velloran.1 install/man/tolvane.1
        install/man/quillmere.1)
    get_filename_component(_name ${_file} NAME)
    add_custom_command(OUTPUT ${_gz_dir}/${_name}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_gz_dir}
        COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${_file} > ${_gz_dir}/${_name}.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/${_file}
        COMMENT "Compressing ${_name}")
    list(APPEND _gz_outputs ${_gz_dir}/${_name}.gz)
endforeach()
add_custom_target(velloran_compressed_docs ALL DEPENDS ${_gz_outputs})
set(_changelog ${_gz_dir}/changelog.gz)
install(FILES ${_gz_dir}/velloran.1.gz ${_gz_dir}/tolvane.1.gz ${_gz_dir}/quillmere.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
foreach(_pair "velloran;velloran" "relaywick;librelaywick1" "relaywick_dev;librelaywick-dev")
    list(GET _pair 0 _component)
    list(GET _pair 1 _package)
    install(FILES ${PROJECT_SOURCE_DIR}/install/debian/copyright ${_changelog}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_package} COMPONENT ${_component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velloran)
set(CPACK_PACKAGE_VENDOR "the Velloran team")
set(CPACK_PACKAGE_CONTACT "${VELLORAN_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installs with the final prefix under DESTDIR, so the desktop entry names the
# program where the package puts it, not where CPack stages it.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL velloran relaywick relaywick_dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELLORAN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velloran.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shlibs file and the ldconfig trigger for librelaywick1.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_VELLORAN_PACKAGE_NAME velloran)
set(CPACK_DEBIAN_VELLORAN_PACKAGE_SECTION sound)
# CPack indents the lines after the first itself.
set(CPACK_COMPONENT_VELLORAN_DESCRIPTION "dictation transcription player
Velloran plays recorded dictation in a thin strip that stays above the word
processor, driven by a foot pedal, the comma and full-stop keys, the media
keys or its toolbar. It plays WAV, MP3, MIDI, Windows Media, DSS dictation
and DVI voice recordings, and remembers the dictation and the place in it.")
# The manual opens in the desktop's browser; MIDI files need a sound font.
set(CPACK_DEBIAN_VELLORAN_PACKAGE_RECOMMENDS "xdg-utils, timgm6mb-soundfont")

set(CPACK_DEBIAN_RELAYWICK_PACKAGE_NAME librelaywick1)
set(CPACK_DEBIAN_RELAYWICK_PACKAGE_SECTION libs)
# dpkg runs ldconfig once for all packages through this trigger. The control
# file's name is fixed, so the trigger file is copied under it.
configure_file(${PROJECT_SOURCE_DIR}/install/debian/librelaywick1.triggers
    ${CMAKE_BINARY_DIR}/debian/librelaywick1/triggers COPYONLY)
set(CPACK_DEBIAN_RELAYWICK_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/librelaywick1/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RELAYWICK_DESCRIPTION "HTTP download, multipart upload and zip pass-through
librelaywick is a C library that downloads a URL into a file, uploads a file
with form fields as a multipart form over HTTP, and passes zip and unzip
requests to the zip library it loads at run time (included).")

set(CPACK_DEBIAN_RELAYWICK_DEV_PACKAGE_NAME librelaywick-dev)
set(CPACK_DEBIAN_RELAYWICK_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_RELAYWICK_DEV_PACKAGE_DEPENDS "librelaywick1 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_RELAYWICK_DEV_DESCRIPTION "HTTP transfer library - development files
The header, the pkg-config file and the link name of librelaywick, for
programs that call it.")

include(CPack)
