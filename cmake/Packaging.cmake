# The Debian packages (make package, or cpack in the build folder), two from one build:
#   fiscora           the program, its helpers, its defaults, the menu entry, icons and the guide
#   fiscora-servidor  the stand-in server with the demo's seed and files
# Building them needs the vendor's public update key (FISCORA_VENDOR_UPDATE_KEY, resources/).
set(FISCORA_DEBIAN_RELEASE 1)
set(_debian ${PROJECT_SOURCE_DIR}/cmake/debian)

# The changelog's newest entry is the version being packaged.
file(STRINGS ${_debian}/changelog _newest LIMIT_COUNT 1)
if(NOT _newest MATCHES "^fiscora \\(${FISCORA_VERSION}-${FISCORA_DEBIAN_RELEASE}\\) ")
    message(FATAL_ERROR "cmake/debian/changelog não começa pela versão ${FISCORA_VERSION}-${FISCORA_DEBIAN_RELEASE}")
endif()

# Manual pages and the changelog, compressed as Debian ships them (gzip -9, no name or time).
find_program(FISCORA_GZIP gzip REQUIRED)
set(_compressed)
foreach(source IN ITEMS docs/man/fiscora.1 docs/man/fiscora-servidor.1 cmake/debian/changelog)
    get_filename_component(_name ${source} NAME)
    if(_name STREQUAL "changelog")
        set(_name changelog.Debian)
    endif()
    set(_out ${CMAKE_BINARY_DIR}/debian/${_name})
    add_custom_command(OUTPUT ${_out}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${source} ${_out}
        COMMAND ${FISCORA_GZIP} -9nf ${_out}
        DEPENDS ${PROJECT_SOURCE_DIR}/${source}
        VERBATIM)
    list(APPEND _compressed ${_out}.gz)
endforeach()
add_custom_target(fiscora_documentos ALL DEPENDS ${_compressed})

install(FILES ${CMAKE_BINARY_DIR}/debian/fiscora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT fiscora)
install(FILES ${CMAKE_BINARY_DIR}/debian/fiscora-servidor.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT fiscora-servidor)
install(FILES ${PROJECT_SOURCE_DIR}/docs/guia.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/fiscora COMPONENT fiscora)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/imagens DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/fiscora
    COMPONENT fiscora)
foreach(package IN ITEMS fiscora fiscora-servidor)
    install(FILES ${_debian}/copyright ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${package})
    if(EXISTS ${_debian}/${package}.lintian-overrides)
        install(FILES ${_debian}/${package}.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            RENAME ${package} COMPONENT ${package})
    endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fiscora)
set(CPACK_PACKAGE_VERSION ${FISCORA_VERSION})
set(CPACK_PACKAGE_VENDOR "Fiscora")
set(CPACK_PACKAGE_CONTACT "Equipe Fiscora <suporte@fiscora.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL fiscora fiscora-servidor)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${FISCORA_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SOURCE fiscora)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Libraries from dpkg-shlibdeps (libsqlite3-0 for the windows, libcurl4 and libssl3 for the module
# fiscora-rede.so, Poppler for fiscora-documentos.so, Qt Print Support for fiscora-impressao.so,
# which link them); by hand
# only what is loaded at run time and not linked, each package named once: the display plugins and
# Qt's Portuguese texts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_FISCORA_PACKAGE_NAME fiscora)
set(CPACK_DEBIAN_FISCORA_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
# Receipts open in the browser; token drivers for certificates on tokens and smart cards.
set(CPACK_DEBIAN_FISCORA_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_FISCORA_PACKAGE_SUGGESTS "opensc, p11-kit-modules")
set(CPACK_DEBIAN_FISCORA_DESCRIPTION
    "send ICMS declarations (GIA and PGDAS) to the municipality's server
Fiscora is the program with which an accounting office sends its client
companies' ICMS declarations to the municipality's server: NovaGIA exports,
GIA text files (converted into an Access package) and PGDAS documents. It
registers the accountant and the companies, obtains each company's access key
with a digital certificate (imported, or on a token or smart card), and looks
up past transmissions and their receipts. Its windows are in Portuguese.")

# The server reads the uploaded GIA databases with the program's Access reader.
set(CPACK_DEBIAN_FISCORA-SERVIDOR_PACKAGE_NAME fiscora-servidor)
set(CPACK_DEBIAN_FISCORA-SERVIDOR_PACKAGE_SECTION net)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_FISCORA-SERVIDOR_DEPENDS fiscora)
# The demo's sample companies go into the program's local database with sqlite3.
set(CPACK_DEBIAN_FISCORA-SERVIDOR_PACKAGE_SUGGESTS "sqlite3")
set(CPACK_DEBIAN_FISCORA-SERVIDOR_DESCRIPTION
    "stand-in for the municipality's server, for the Fiscora demo
fiscora-servidor answers what Fiscora asks of the municipality's server: the
web service (accountant, access keys, transmissions, receipts), the GIA and
PGDAS uploads, the version file, the updater and the receipt page. It keeps
its state in a data folder of its own.
.
The package also holds the demo: companies to seed the server with, GIA and
PGDAS files to send, a NovaGIA export to import and sample certificates.")
include(CPack)
