# Most of the compile time of a translation unit goes to parsing Qt's headers. One precompiled header
# of the Qt and standard headers the code includes most is built once per build folder (targets
# pravik_pch_core and pravik_pch_widgets) and reused by every target of the project, so that no header list is kept per target:
# a new library or test gets it by being defined.
#
# Only Qt headers whose meaning does not depend on the module macros (QT_GUI_LIB, QT_WIDGETS_LIB,
# QT_TESTLIB_LIB) are in it: QtTest's headers do depend on them, so each test parses those itself.
# GCC checks that a precompiled header fits the compilation (-Winvalid-pch, an error here), so a
# mismatch fails the build instead of slowing it down silently. Configure with -DPRAVIK_PCH=OFF to
# check that every file includes what it uses.
option(PRAVIK_PCH "Reuse one precompiled header of the common Qt headers in every target (GCC)" ON)

set(PRAVIK_PCH_CORE_HEADERS
  <algorithm> <functional> <memory> <optional> <utility> <vector>
  <QtCore/QByteArray> <QtCore/QCoreApplication> <QtCore/QDateTime> <QtCore/QDir>
  <QtCore/QElapsedTimer> <QtCore/QFile> <QtCore/QFileInfo> <QtCore/QHash> <QtCore/QList>
  <QtCore/QObject> <QtCore/QPointer> <QtCore/QString> <QtCore/QStringList> <QtCore/QTemporaryDir>
  <QtCore/QTimer> <QtCore/QVariant>)
set(PRAVIK_PCH_WIDGETS_HEADERS ${PRAVIK_PCH_CORE_HEADERS}
  <QtGui/QPainter>
  <QtWidgets/QApplication> <QtWidgets/QDialog> <QtWidgets/QLabel> <QtWidgets/QVBoxLayout>
  <QtWidgets/QWidget>)

# Which header fits target, in out_var: "widgets" when the compile definitions of Qt6::Widgets reach
# it (its own links, and the public links of the project's libraries it uses), "core" when only those
# of other Qt modules do, "" without Qt. GCC refuses a header built with a module macro the target
# lacks.
function(_pravik_pch_kind target out_var)
  set(seen "")
  set(kind "")
  get_target_property(queue "${target}" LINK_LIBRARIES)
  while(queue)
    list(POP_FRONT queue lib)
    if(lib IN_LIST seen)
      continue()
    endif()
    list(APPEND seen "${lib}")
    if(lib STREQUAL "Qt6::Widgets")
      set(kind widgets)
      break()
    elseif(lib MATCHES "^Qt6::")
      set(kind core)
    elseif(TARGET "${lib}")
      get_target_property(imported "${lib}" IMPORTED)
      get_target_property(public "${lib}" INTERFACE_LINK_LIBRARIES)
      if(NOT imported AND public)
        list(APPEND queue ${public})
      endif()
    endif()
  endwhile()
  set(${out_var} "${kind}" PARENT_SCOPE)
endfunction()

function(_pravik_targets_of dir out_var)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _pravik_targets_of("${sub}" more)
    list(APPEND targets ${more})
  endforeach()
  set(${out_var} ${targets} PARENT_SCOPE)
endfunction()

# Call once at the end of the top-level CMakeLists.txt, after every target is defined. Targets with
# compile options beyond the common ones (the fuzz targets, section flags) compile without the
# header: options that differ from the header's can make GCC refuse it.
function(pravik_precompiled_headers)
  if(NOT PRAVIK_PCH OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    return()
  endif()
  add_library(pravik_pch_core STATIC "${PROJECT_SOURCE_DIR}/cmake/pch_anchor.cpp")
  target_link_libraries(pravik_pch_core PRIVATE Qt6::Core)
  target_precompile_headers(pravik_pch_core PRIVATE ${PRAVIK_PCH_CORE_HEADERS})
  add_library(pravik_pch_widgets STATIC "${PROJECT_SOURCE_DIR}/cmake/pch_anchor.cpp")
  target_link_libraries(pravik_pch_widgets PRIVATE Qt6::Widgets)
  target_precompile_headers(pravik_pch_widgets PRIVATE ${PRAVIK_PCH_WIDGETS_HEADERS})
  get_target_property(common pravik_pch_core COMPILE_OPTIONS)
  _pravik_targets_of("${PROJECT_SOURCE_DIR}" targets)
  foreach(t IN LISTS targets)
    get_target_property(type "${t}" TYPE)
    if(t MATCHES "^pravik_pch_" OR NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    get_target_property(options "${t}" COMPILE_OPTIONS)
    get_target_property(own "${t}" PRECOMPILE_HEADERS)
    if(NOT options STREQUAL common OR own)
      continue()
    endif()
    _pravik_pch_kind("${t}" kind)
    if(kind)
      set_property(TARGET "${t}" PROPERTY PRECOMPILE_HEADERS_REUSE_FROM pravik_pch_${kind})
    endif()
  endforeach()
endfunction()
