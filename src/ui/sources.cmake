list(APPEND FISCORA_CORE_SOURCES
    ui/MessageBox.cpp
    ui/Platform.cpp
    ui/Clock.cpp)
list(APPEND FISCORA_GUI_SOURCES
    ui/WidgetMessageBox.cpp
    ui/ReadOnlyGrid.cpp
    ui/FileChooser.cpp)
