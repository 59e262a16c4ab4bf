# The Debian package (make package, or cpack in the build folder): the install rules under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fiscora)
set(CPACK_PACKAGE_VERSION ${FISCORA_VERSION})
set(CPACK_PACKAGE_VENDOR "Fiscora")
set(CPACK_PACKAGE_CONTACT "Equipe Fiscora <suporte@fiscora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "envio de declarações de ICMS (GIA e PGDAS) à Prefeitura")
set(CPACK_PACKAGE_DESCRIPTION
    "O Fiscora é o programa com que o escritório de contabilidade envia as declarações de ICMS \
das empresas (exportações da GIA, arquivos texto da GIA e documentos PGDAS) ao servidor da \
Prefeitura. Inclui o leitor de arquivos Access e o servidor de testes fiscora-servidor.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries from dpkg-shlibdeps; what is loaded at run time (the display plugins, Qt's Portuguese
# texts, SQLite and OpenSSL, which the windows open when first needed) named by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, libsqlite3-0, libssl3")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils")
include(CPack)
