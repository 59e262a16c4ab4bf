# The empty local database fiscora.mdb (an SQLite file) of the program folder, made from the
# version-0 schema and the program's upgrade steps by a small tool of ours. The program never
# creates it.
add_executable(fiscora-esquema ${CMAKE_CURRENT_SOURCE_DIR}/tools/fiscora-esquema.cpp)
target_link_libraries(fiscora-esquema PRIVATE fiscora_options PkgConfig::SQLITE3)
target_include_directories(fiscora-esquema PRIVATE ${PROJECT_SOURCE_DIR}/src)
set_target_properties(fiscora-esquema PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

set(_schema ${CMAKE_CURRENT_SOURCE_DIR}/fiscora-schema.sql)
add_custom_command(
    OUTPUT ${FISCORA_BIN_DIR}/fiscora.mdb
    COMMAND fiscora-esquema ${_schema} ${FISCORA_BIN_DIR}/fiscora.mdb
    DEPENDS fiscora-esquema ${_schema} ${PROJECT_SOURCE_DIR}/src/data/LocalSchema.h
    COMMENT "Criando fiscora.mdb vazio"
    VERBATIM)
add_custom_target(fiscora_mdb ALL DEPENDS ${FISCORA_BIN_DIR}/fiscora.mdb)
# Building the program lays out its whole folder (the tests depend on the program).
add_dependencies(fiscora fiscora_mdb)

# The installed copy is only the default each user's program folder starts from.
install(FILES ${FISCORA_BIN_DIR}/fiscora.mdb DESTINATION ${FISCORA_DEFAULTS_DIR})
