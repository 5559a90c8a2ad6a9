// Drive1: the drive list, one entry per mounted volume.
#pragma once

#include <QComboBox>
#include <QStringList>

namespace browser {

class DriveList : public QComboBox {
    Q_OBJECT

public:
    // drives: the volumes to offer; platform::Drives::list() in the program.
    explicit DriveList(const QStringList& drives, QWidget* parent = nullptr);
    explicit DriveList(QWidget* parent = nullptr);

    // Every volume offered, in list order.
    QStringList drives() const;
    // The selected volume's path.
    QString drive() const { return currentText(); }
    // Selects the volume that holds `path` without raising driveChanged, for keeping the list in
    // step with a folder chosen elsewhere.
    void showDriveOf(const QString& path);

signals:
    void driveChanged(const QString& drive);

private:
    int indexFor(const QString& path);
};

} // namespace browser
