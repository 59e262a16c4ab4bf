# The chooser dialog is a window; the store and the checks are core.
list(APPEND FISCORA_CORE_SOURCES
    certificates/Certificate.cpp
    certificates/CertificateChecks.cpp
    certificates/CertificateExtensions.cpp
    certificates/CertificateListModel.cpp
    certificates/CertificateStore.cpp
    certificates/CertificateTexts.cpp
    certificates/Pkcs12Reader.cpp)
list(APPEND FISCORA_GUI_SOURCES
    certificates/CertificateChooser.cpp
    certificates/CertificateDialog.cpp
    certificates/CertificateSelection.cpp)
