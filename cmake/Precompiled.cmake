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
# libraries compile them once; the programs and tests of the same kind take
# theirs (a header set costs more to compile than most of our files).
function(trellium_precompile target kind)
  if(NOT TRELLIUM_PCH)
    return()
  endif()
  if(target STREQUAL "trellium_core" OR target STREQUAL "trellium_gui")
    target_precompile_headers(${target} PRIVATE ${TRELLIUM_PCH_${kind}})
  elseif(kind STREQUAL "CORE")
    target_precompile_headers(${target} REUSE_FROM trellium_core)
  else()
    target_precompile_headers(${target} REUSE_FROM trellium_gui)
  endif()
endfunction()
