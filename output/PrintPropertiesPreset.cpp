#include "output/PrintPropertiesPreset.h"

#include <QChildEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPrintDialog>
#include <QRadioButton>

namespace qb {
namespace {

constexpr const char* kPresetDone = "qbPaperPreset";

}  // namespace

PrintPropertiesPreset::PrintPropertiesPreset(QPrintDialog* dialog, const QPageSize& size,
                                             QPageLayout::Orientation orientation)
    : m_pDialog(dialog), m_size(size), m_orientation(orientation) {
  m_pDialog->installEventFilter(this);
  for (QDialog* child : m_pDialog->findChildren<QDialog*>()) {
    child->installEventFilter(this);
  }
}

PrintPropertiesPreset::~PrintPropertiesPreset() = default;

bool PrintPropertiesPreset::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_pDialog && event->type() == QEvent::ChildAdded) {
    // The child is still being built: its kind is known once it is shown.
    QObject* child = static_cast<QChildEvent*>(event)->child();
    if (child->isWidgetType()) {
      child->installEventFilter(this);
    }
  } else if (event->type() == QEvent::Show && watched != m_pDialog &&
             qstrcmp(watched->metaObject()->className(), "QPrintPropertiesDialog") == 0 &&
             !watched->property(kPresetDone).toBool()) {
    watched->setProperty(kPresetDone, true);
    Apply(static_cast<QWidget*>(watched));
  }
  return QObject::eventFilter(watched, event);
}

void PrintPropertiesPreset::Apply(QWidget* properties) const {
  if (!m_size.isValid()) {
    return;
  }
  const bool landscape = m_orientation == QPageLayout::Landscape;
  auto* turn = properties->findChild<QRadioButton*>(landscape ? "landscape" : "portrait");
  if (turn != nullptr && !turn->isChecked()) {
    turn->click();
  }
  auto* sizes = properties->findChild<QComboBox*>("pageSizeCombo");
  if (sizes == nullptr) {
    return;
  }
  int custom = -1;
  for (int i = 0; i < sizes->count(); ++i) {
    const QVariant data = sizes->itemData(i);
    if (!data.isValid()) {
      custom = i;  // the entry without a size is the custom one
    } else if (data.value<QPageSize>().isEquivalentTo(m_size)) {
      sizes->setCurrentIndex(i);
      return;
    }
  }
  auto* width = properties->findChild<QDoubleSpinBox*>("pageWidth");
  auto* height = properties->findChild<QDoubleSpinBox*>("pageHeight");
  auto* units = properties->findChild<QComboBox*>("unitCombo");
  if (custom < 0 || width == nullptr || height == nullptr || units == nullptr) {
    return;
  }
  sizes->setCurrentIndex(custom);
  // The fields show the sheet as it lies, in the dialog's unit.
  QSizeF extent = m_size.size(QPageSize::Unit(units->currentData().value<QPageLayout::Unit>()));
  if (landscape) {
    extent.transpose();
  }
  width->setValue(extent.width());
  height->setValue(extent.height());
}

}  // namespace qb
