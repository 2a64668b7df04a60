# The application's classes: every source under the subsystem folders, in one
# static library that the program and the tests link. Files ending in _win or
# _linux are the platform layer; only the current platform's are built.
set(KALVINOR_DIRS storage util engine models app projects export)
set(core_sources)
foreach(dir ${KALVINOR_DIRS})
  file(GLOB found CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${dir}/*.cpp" "${CMAKE_SOURCE_DIR}/${dir}/*.h")
  list(APPEND core_sources ${found})
endforeach()
list(FILTER core_sources EXCLUDE REGEX "/app/main\\.cpp$")
if(WIN32)
  list(FILTER core_sources EXCLUDE REGEX "_linux\\.(cpp|h)$")
else()
  list(FILTER core_sources EXCLUDE REGEX "_win\\.(cpp|h)$")
endif()

add_library(kalvinor_core STATIC ${core_sources})
target_include_directories(kalvinor_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(kalvinor_core PUBLIC SQLITE_HAS_CODEC)
target_compile_definitions(kalvinor_core PRIVATE
  "KALVINOR_MODEL_ENDPOINT=\"${KALVINOR_MODEL_ENDPOINT}\""
  "KALVINOR_UPDATE_ENDPOINT=\"${KALVINOR_UPDATE_ENDPOINT}\"")
target_link_libraries(kalvinor_core PUBLIC
  Qt5::Core Qt5::Gui Qt5::Qml Qt5::Quick Qt5::QuickControls2 Qt5::Xml Qt5::Widgets Qt5::PrintSupport Qt5::DBus
  PkgConfig::FFMPEG PkgConfig::SQLCIPHER PkgConfig::OPENCC PkgConfig::CURL PkgConfig::ARCHIVE
  PkgConfig::SDL2 PkgConfig::PUGIXML PkgConfig::MINIZIP PkgConfig::PULSE vosk Threads::Threads)

# QML documents at the root of the resource tree ("qrc:/main.qml"); everything
# else is listed in resources/resources.qrc. An object library keeps the
# resources' static initialisers in every binary that links them.
file(GLOB qml_files CONFIGURE_DEPENDS RELATIVE "${CMAKE_SOURCE_DIR}/qml" "${CMAKE_SOURCE_DIR}/qml/*.qml" "${CMAKE_SOURCE_DIR}/qml/*.js")
set(qml_qrc "${CMAKE_BINARY_DIR}/qml.qrc")
set(qrc_text "<RCC>\n  <qresource prefix=\"/\">\n")
foreach(f ${qml_files})
  string(APPEND qrc_text "    <file alias=\"${f}\">${CMAKE_SOURCE_DIR}/qml/${f}</file>\n")
endforeach()
string(APPEND qrc_text "  </qresource>\n</RCC>\n")
file(CONFIGURE OUTPUT "${qml_qrc}" CONTENT "${qrc_text}")

set(resource_qrcs "${qml_qrc}")
if(EXISTS "${CMAKE_SOURCE_DIR}/resources/resources.qrc")
  list(APPEND resource_qrcs "${CMAKE_SOURCE_DIR}/resources/resources.qrc")
endif()
# The parts every exported Word document copies as they stand.
list(APPEND resource_qrcs "${CMAKE_SOURCE_DIR}/resources/libdocxwriter/template.qrc")
# Seed databases are generated from SQL scripts kept in resources/ and served
# under ":/qrc/".
add_executable(make_seed_db tools/make_seed_db.cpp)
target_compile_definitions(make_seed_db PRIVATE SQLITE_HAS_CODEC)
target_link_libraries(make_seed_db PRIVATE PkgConfig::SQLCIPHER)
set(seed_dir "${CMAKE_BINARY_DIR}/seed")
file(MAKE_DIRECTORY "${seed_dir}")
add_custom_command(OUTPUT "${seed_dir}/lang.db"
  COMMAND make_seed_db "${CMAKE_SOURCE_DIR}/resources/lang.sql" "${seed_dir}/lang.db"
  DEPENDS make_seed_db "${CMAKE_SOURCE_DIR}/resources/lang.sql" VERBATIM)
file(CONFIGURE OUTPUT "${seed_dir}/seed.qrc" CONTENT
  "<RCC>\n  <qresource prefix=\"/qrc\">\n    <file>lang.db</file>\n  </qresource>\n</RCC>\n")
add_custom_command(OUTPUT "${seed_dir}/qrc_seed.cpp"
  COMMAND Qt5::rcc --name seed --output "${seed_dir}/qrc_seed.cpp" "${seed_dir}/seed.qrc"
  DEPENDS "${seed_dir}/seed.qrc" "${seed_dir}/lang.db" VERBATIM)
set_source_files_properties("${seed_dir}/qrc_seed.cpp" PROPERTIES SKIP_AUTOGEN ON GENERATED ON)

# The translation is compiled from its .ts source at build time and served as
# ":/kalvinor_en_US.qm".
qt5_add_translation(qm_files "${CMAKE_SOURCE_DIR}/resources/kalvinor_en_US.ts")
set(tr_qrc "${CMAKE_BINARY_DIR}/translations.qrc")
file(CONFIGURE OUTPUT "${tr_qrc}" CONTENT "<RCC>\n  <qresource prefix=\"/\">\n    <file alias=\"kalvinor_en_US.qm\">${CMAKE_BINARY_DIR}/kalvinor_en_US.qm</file>\n  </qresource>\n</RCC>\n")
list(APPEND resource_qrcs "${tr_qrc}")

add_library(kalvinor_resources OBJECT ${resource_qrcs} "${seed_dir}/qrc_seed.cpp" ${qm_files})
target_link_libraries(kalvinor_resources PRIVATE Qt5::Core)

add_executable(kalvinor_audio2text app/main.cpp $<TARGET_OBJECTS:kalvinor_resources>)
target_link_libraries(kalvinor_audio2text PRIVATE kalvinor_core)

# Walks the window through its main views for scripts/screenshots.sh.
add_executable(kalvinor_screenshots tools/screenshots.cpp $<TARGET_OBJECTS:kalvinor_resources>)
target_link_libraries(kalvinor_screenshots PRIVATE kalvinor_core)
