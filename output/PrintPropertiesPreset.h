// Makes the print dialog's printer properties open on the session's paper and
// orientation. Qt's page setup there starts from the chosen printer's default
// paper; this watcher sets the session's sheet into it the first time each
// properties dialog is shown, so that what the user sees (and accepts
// unchanged) is the sheet that prints. A paper the printer does not list is
// set as the custom size. Widgets it does not find are left alone.
//
// Thread contract: UI thread; lives no longer than the print dialog it
// watches.
#pragma once

#include <QObject>
#include <QPageLayout>
#include <QPageSize>

class QPrintDialog;
class QWidget;

namespace qb {

class PrintPropertiesPreset : public QObject {
 public:
  PrintPropertiesPreset(QPrintDialog* dialog, const QPageSize& size,
                        QPageLayout::Orientation orientation);
  ~PrintPropertiesPreset() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Apply(QWidget* properties) const;

  QPrintDialog* m_pDialog;  // not owned
  const QPageSize m_size;
  const QPageLayout::Orientation m_orientation;
};

}  // namespace qb
