list(APPEND FISCORA_CORE_SOURCES
    app/AppTexts.cpp
    app/CommandLine.cpp
    app/Cp1252.cpp
    app/ProgramFolder.cpp
    app/Settings.cpp
    app/UrlParts.cpp
    app/TextFile.cpp
    app/VersionCheck.cpp
    app/ServerDate.cpp
    app/TransmissionHistory.cpp)
list(APPEND FISCORA_GUI_SOURCES
    app/Abertura.cpp
    app/Images.cpp
    app/Sobre.cpp
    app/Principal.cpp
    app/GuiStartup.cpp)
