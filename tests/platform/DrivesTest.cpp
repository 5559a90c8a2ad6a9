// Drives from mounts tables: which file systems count, escaped paths, and the drive of a path.
#include "platform/Drives.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using platform::Drives;

namespace {

// A laptop: root and home on disks, a USB stick with a blank in its name, a network share, and
// the kernel's and the desktop's own mounts that are no drives.
const char* const laptop = R"(sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0
proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0
udev /dev devtmpfs rw,nosuid,relatime,size=8034048k,nr_inodes=2008512,mode=755 0 0
devpts /dev/pts devpts rw,nosuid,noexec,relatime,gid=5,mode=620,ptmxmode=000 0 0
tmpfs /run tmpfs rw,nosuid,nodev,noexec,relatime,size=1611200k,mode=755 0 0
/dev/nvme0n1p2 / ext4 rw,relatime,errors=remount-ro 0 0
securityfs /sys/kernel/security securityfs rw,nosuid,nodev,noexec,relatime 0 0
cgroup2 /sys/fs/cgroup cgroup2 rw,nosuid,nodev,noexec,relatime 0 0
pstore /sys/fs/pstore pstore rw,nosuid,nodev,noexec,relatime 0 0
bpf /sys/fs/bpf bpf rw,nosuid,nodev,noexec,relatime,mode=700 0 0
systemd-1 /proc/sys/fs/binfmt_misc autofs rw,relatime,fd=30,pgrp=1,timeout=0 0 0
mqueue /dev/mqueue mqueue rw,nosuid,nodev,noexec,relatime 0 0
hugetlbfs /dev/hugepages hugetlbfs rw,relatime,pagesize=2M 0 0
debugfs /sys/kernel/debug debugfs rw,nosuid,nodev,noexec,relatime 0 0
tracefs /sys/kernel/tracing tracefs rw,nosuid,nodev,noexec,relatime 0 0
fusectl /sys/fs/fuse/connections fusectl rw,nosuid,nodev,noexec,relatime 0 0
configfs /sys/kernel/config configfs rw,nosuid,nodev,noexec,relatime 0 0
/dev/loop3 /snap/core22/1122 squashfs ro,nodev,relatime,errors=continue 0 0
/dev/nvme0n1p1 /boot/efi vfat rw,relatime,fmask=0077,dmask=0077,codepage=437,iocharset=iso8859-1 0 0
/dev/nvme0n1p3 /home ext4 rw,relatime 0 0
tmpfs /run/user/1000 tmpfs rw,nosuid,nodev,relatime,size=1611196k,mode=700,uid=1000,gid=1000 0 0
gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw,nosuid,nodev,relatime,user_id=1000,group_id=1000 0 0
/dev/sda1 /media/ana/SALES\040DATA vfat rw,nosuid,nodev,relatime,uid=1000,gid=1000 0 0
/dev/sdb1 /media/ana/Old\040Win\134Disk fuseblk rw,nosuid,nodev,relatime,user_id=0,group_id=0 0 0
//server/share /mnt/share cifs rw,relatime,vers=3.1.1,cache=strict 0 0
server:/export /mnt/nfs nfs4 rw,relatime,vers=4.2 0 0
)";

// A container: an overlay root, and folders and single files of the host bound into it, some
// of them twice.
const char* const container =
    R"(overlay / overlay rw,relatime,lowerdir=/var/lib/docker/overlay2/l/A:/var/lib/docker/overlay2/l/B 0 0
proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0
tmpfs /dev tmpfs rw,nosuid,size=65536k,mode=755 0 0
shm /dev/shm tmpfs rw,nosuid,nodev,noexec,relatime,size=65536k 0 0
/dev/sda1 /work ext4 rw,relatime 0 0
/dev/sda1 /work/shared ext4 ro,relatime 0 0
/dev/sda1 /etc/hosts ext4 rw,relatime 0 0
/dev/sda1 /work ext4 rw,relatime 0 0
)";

} // namespace

TEST(Drives, ParsesTheRealVolumesOfAMountsTable) {
    EXPECT_EQ(Drives::parseMounts(laptop), (QStringList{"/", "/boot/efi", "/home", "/media/ana/Old Win\\Disk",
                                                        "/media/ana/SALES DATA", "/mnt/nfs", "/mnt/share"}));
    // The root folder is a drive even when its own file system is a layer; nested bind mounts
    // are drives of their own, and a mount that comes twice is listed once.
    EXPECT_EQ(Drives::parseMounts(container), (QStringList{"/", "/etc/hosts", "/work", "/work/shared"}));
    EXPECT_EQ(Drives::parseMounts(""), QStringList{"/"});
    // Damaged lines are passed over.
    EXPECT_EQ(Drives::parseMounts("garbage\n/dev/sdc1\n/dev/sdc1 relative ext4 rw 0 0\n\n"),
              QStringList{"/"});
}

TEST(Drives, TheDriveOfAPathIsTheInnermostVolumeHoldingIt) {
    const QStringList drives = Drives::parseMounts(laptop);
    EXPECT_EQ(Drives::driveOf("/home/ana/data/orders.dbf", drives), "/home");
    EXPECT_EQ(Drives::driveOf("/home", drives), "/home");
    EXPECT_EQ(Drives::driveOf("/home/", drives), "/home");
    // A prefix of the text is not enough: /homework is on the root volume.
    EXPECT_EQ(Drives::driveOf("/homework/t.dbf", drives), "/");
    EXPECT_EQ(Drives::driveOf("/media/ana/SALES DATA/2024", drives), "/media/ana/SALES DATA");
    EXPECT_EQ(Drives::driveOf("/media/ana/SALES", drives), "/");
    EXPECT_EQ(Drives::driveOf("/home/../mnt/share/x", drives), "/mnt/share");

    const QStringList nested = Drives::parseMounts(container);
    EXPECT_EQ(Drives::driveOf("/work/shared/fixtures", nested), "/work/shared");
    EXPECT_EQ(Drives::driveOf("/work/main", nested), "/work");
    EXPECT_EQ(Drives::driveOf("/tmp", nested), "/");
    EXPECT_EQ(Drives::driveOf("relative/path", QStringList{"/"}), "");
}

TEST(Drives, ThisSystemsDrivesHoldItsFolders) {
    const QStringList drives = Drives::list();
    ASSERT_FALSE(drives.isEmpty());
#ifndef Q_OS_WIN
    EXPECT_EQ(drives.first(), "/");
    // Only folders are drives: a file bound into a container is none.
    for (const QString& drive : drives)
        EXPECT_TRUE(QFileInfo(drive).isDir()) << drive.toStdString();
    // The drive of a folder is among the drives and is one of its parent folders.
    const QString drive = Drives::driveOf(QDir::currentPath());
    EXPECT_TRUE(drives.contains(drive)) << drive.toStdString();
    EXPECT_TRUE(QDir::currentPath().startsWith(drive)) << drive.toStdString();
#endif
}
