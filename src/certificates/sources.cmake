# The chooser dialog is a window; the store and the checks are core.
list(APPEND FISCORA_CORE_SOURCES)
list(APPEND FISCORA_GUI_SOURCES)
