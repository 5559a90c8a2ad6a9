// Drive1: the drive list, one entry per mounted volume.
#include "browser/DriveList.h"

#include "platform/Drives.h"

#include <QDir>
#include <QSignalBlocker>

namespace browser {

DriveList::DriveList(const QStringList& drives, QWidget* parent) : QComboBox(parent) {
    setObjectName("Drive1");
    addItems(drives);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) emit driveChanged(itemText(index));
    });
}

DriveList::DriveList(QWidget* parent) : DriveList(platform::Drives::list(), parent) {}

QStringList DriveList::drives() const {
    QStringList all;
    for (int i = 0; i < count(); ++i)
        all << itemText(i);
    return all;
}

int DriveList::indexFor(const QString& path) {
    QString drive = platform::Drives::driveOf(QDir(path).absolutePath(), drives());
    if (drive.isEmpty()) {
        // A volume mounted after the list was filled.
        drive = platform::Drives::driveOf(path);
        if (drive.isEmpty()) return -1;
        if (findText(drive) < 0) {
            const QSignalBlocker blocker(this);
            addItem(drive);
        }
    }
    return findText(drive);
}

void DriveList::showDriveOf(const QString& path) {
    const int index = indexFor(path);
    const QSignalBlocker blocker(this);
    if (index >= 0) setCurrentIndex(index);
}

} // namespace browser
