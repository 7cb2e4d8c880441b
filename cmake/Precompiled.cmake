# Precompiled toolkit and standard headers: most of a file's compile time
# here is spent reading Qt's headers, four builds over (plain, the two
# sanitizer builds and the fuzz build). TRELLIUM_PCH=OFF compiles without.
option(TRELLIUM_PCH "Precompile the toolkit's headers" ON)

set(TRELLIUM_PCH_CORE
  <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QList> <QMap> <QObject>
  <QSocketNotifier> <QString> <QStringList> <QTimer> <QVariant>
  <algorithm> <array> <atomic> <cstdint> <functional> <map> <memory> <mutex>
  <string> <vector>)
set(TRELLIUM_PCH_GUI ${TRELLIUM_PCH_CORE}
  <QApplication> <QCheckBox> <QComboBox> <QDialog> <QLabel> <QLineEdit>
  <QMainWindow> <QMdiArea> <QMdiSubWindow> <QMessageBox> <QPainter>
  <QPushButton> <QWidget>)

# `kind` is CORE or GUI: the headers a target's files mostly include. The
# libraries compile them once; the programs of the same kind take theirs (a
# header set costs more to compile than most of our files). TEST_CORE and
# TEST_GUI are the same sets compiled with the tests' options, by the hosts
# tests/CMakeLists.txt makes: a header compiled with other options is refused.
function(trellium_precompile target kind)
  if(NOT TRELLIUM_PCH)
    return()
  endif()
  if(target STREQUAL "trellium_core" OR target STREQUAL "trellium_gui")
    target_precompile_headers(${target} PRIVATE ${TRELLIUM_PCH_${kind}})
  elseif(kind STREQUAL "CORE")
    target_precompile_headers(${target} REUSE_FROM trellium_core)
  elseif(kind STREQUAL "GUI")
    target_precompile_headers(${target} REUSE_FROM trellium_gui)
  elseif(kind STREQUAL "TEST_CORE")
    target_precompile_headers(${target} REUSE_FROM trellium_test_pch_core)
  else()
    target_precompile_headers(${target} REUSE_FROM trellium_test_pch_gui)
  endif()
endfunction()
