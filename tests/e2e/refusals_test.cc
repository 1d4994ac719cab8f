// What a real zeld refuses, as the library reports it: a wrong password, a
// file or directory that does not exist, a name that leads out of the
// served tree, and any change on a read-only server.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "e2e_fixture.h"

namespace e2etest {
namespace {

namespace fs = std::filesystem;

constexpr char kPassword[] = "correct horse";
constexpr int32_t kPrivilegeViolation = 0x00040055;

class Logins : public EndToEnd {
protected:
    Logins() : EndToEnd(ZeldOptions{"stream", "smith:" + HashPassword(kPassword) + "\n", {}}) {}
};

TEST_F(Logins, TheRightPasswordOpensTheLink) {
    WriteFile(server.Path("a.txt"), "a\n");
    Link link(server.node(), LinkOptions{"smith", kPassword, 0});
    ASSERT_EQ(link.openResult(), RFA_OK);
    ASSERT_EQ(link.Download("a.txt", Local("a.txt"), RFA_MODE_IMAGE), RFA_OK);
    EXPECT_EQ(ReadFile(Local("a.txt")), "a\n");
}

TEST_F(Logins, AWrongPasswordAnUnknownUserOrNoUserIsAccessDenied) {
    for (const LinkOptions& options : {LinkOptions{"smith", "wrong", 0}, LinkOptions{"jones", kPassword, 0},
                                       LinkOptions{"", "", 0}}) {
        Link link(server.node(), options);
        EXPECT_EQ(link.openResult(), RFA_ERR_ACCESS_DENIED) << options.user;
        EXPECT_EQ(link.Look().errorCode, RFA_ERR_ACCESS_DENIED);
        // The link is not open: an operation on it is refused before anything is sent.
        EXPECT_EQ(RfaDelete(link.handle(), "a.txt"), -1);
    }
    server.Stop();
    EXPECT_NE(server.log().find("user=smith op=connect file=\"\" outcome=access-denied"), std::string::npos)
        << server.log();
}

class Refusals : public EndToEnd {
protected:
    explicit Refusals(const char* personality = "stream", std::vector<std::string> arguments = {})
        : EndToEnd(ZeldOptions{personality, "", std::move(arguments)}) {}

    void ExpectStatus(const Link& link, int32_t code, int32_t value, const std::string& what) {
        const RfaLinkStatus status = link.Look();
        EXPECT_EQ(status.errorCode, code) << what;
        EXPECT_EQ(status.errorValue, value) << what << std::hex << " value " << status.errorValue;
    }
};

TEST_F(Refusals, AFileThatDoesNotExistIsFileNotFoundAndNoLocalFileIsMade) {
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(link->Download("missing.txt", Local("missing.txt"), RFA_MODE_TEXT), RFA_ERR_FILE_NOT_FOUND);
    ExpectStatus(*link, RFA_ERR_FILE_NOT_FOUND, 0x00040032, "download");
    EXPECT_FALSE(fs::exists(Local("missing.txt")));
    EXPECT_EQ(RfaRename(link->handle(), "missing.txt", "other.txt"), RFA_ERR_FILE_NOT_FOUND);
    RfaProtectionRecord record{};
    EXPECT_EQ(RfaProtection(link->handle(), "missing.txt", &record, 0), RFA_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(record.present, 0u);
    const std::vector<Notification> notifications = link->notifications();
    ASSERT_EQ(notifications.size(), 3u);
    for (const Notification& notification : notifications) EXPECT_EQ(notification.status, 0u);
}

TEST_F(Refusals, ADirectoryThatDoesNotExistIsDirectoryNotFound) {
    WriteFile(Local("up.txt"), "up\n");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(link->Download("nodir/a.txt", Local("a.txt"), RFA_MODE_IMAGE), RFA_ERR_DIR_NOT_FOUND);
    ExpectStatus(*link, RFA_ERR_DIR_NOT_FOUND, 0x00040020, "download");
    EXPECT_EQ(link->Upload(Local("up.txt"), "nodir/up.txt", RFA_MODE_IMAGE), RFA_ERR_DIR_NOT_FOUND);
    EXPECT_TRUE(DirectoryNames(server.root()).empty());
}

TEST_F(Refusals, ALocalSourceThatDoesNotExistFailsBeforeAnythingIsSent) {
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(link->Upload(Local("absent.txt"), "x.txt", RFA_MODE_IMAGE), RFA_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(link->Look().errorValue, 0);
    EXPECT_TRUE(DirectoryNames(server.root()).empty());
}

// Names that lead out of the root: a parent, an absolute path, a link to a
// file outside and a link to a directory outside. None is read, written,
// listed or changed.
class Escapes : public Refusals {
protected:
    explicit Escapes(const char* personality = "stream") : Refusals(personality) {}
    void SetUp() override {
        Refusals::SetUp();
        WriteFile(outside / "secret.txt", "outside the root\n");
        ASSERT_EQ(::symlink((outside / "secret.txt").c_str(), server.Path("file-out").c_str()), 0);
        ASSERT_EQ(::symlink(outside.path().c_str(), server.Path("dir-out").c_str()), 0);
        WriteFile(Local("up.txt"), "must not land outside\n");
    }
    // The outside directory holds nothing but what it held.
    void ExpectOutsideUntouched() {
        EXPECT_EQ(DirectoryNames(outside.path()), std::vector<std::string>{"secret.txt"});
        EXPECT_EQ(ReadFile(outside / "secret.txt"), "outside the root\n");
        EXPECT_FALSE(fs::exists(fs::path(server.root()).parent_path() / "escaped.txt"));
    }

    ScratchDir outside;
};

TEST_F(Escapes, DownloadsOfNamesOutsideTheRootAreAPrivilegeViolation) {
    std::unique_ptr<Link> link = Connect();
    for (const std::string& name :
         {std::string("../secret.txt"), std::string("/etc/passwd"), outside / "secret.txt",
          std::string("file-out"), std::string("dir-out/secret.txt"), std::string("sub/../../x")}) {
        EXPECT_EQ(link->Download(name, Local("got"), RFA_MODE_IMAGE), RFA_ERR_PRIVILEGE) << name;
        ExpectStatus(*link, RFA_ERR_PRIVILEGE, kPrivilegeViolation, name);
        EXPECT_FALSE(fs::exists(Local("got"))) << name;
    }
    ExpectOutsideUntouched();
}

TEST_F(Escapes, UploadsToNamesOutsideTheRootAreAPrivilegeViolation) {
    std::unique_ptr<Link> link = Connect();
    for (const std::string& name : {std::string("../escaped.txt"), outside / "new.txt", std::string("file-out"),
                                   std::string("dir-out/new.txt")}) {
        EXPECT_EQ(link->Upload(Local("up.txt"), name, RFA_MODE_IMAGE), RFA_ERR_PRIVILEGE) << name;
        ExpectStatus(*link, RFA_ERR_PRIVILEGE, kPrivilegeViolation, name);
    }
    ExpectOutsideUntouched();
    EXPECT_EQ(DirectoryNames(server.root()), (std::vector<std::string>{"dir-out", "file-out"}));
}

TEST_F(Escapes, CommandsOnNamesOutsideTheRootAreAPrivilegeViolation) {
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaDelete(link->handle(), "dir-out/secret.txt"), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(RfaDelete(link->handle(), "../escaped.txt"), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(RfaMd(link->handle(), "dir-out/made"), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(RfaRename(link->handle(), "dir-out/secret.txt", "here.txt"), RFA_ERR_PRIVILEGE);
    WriteFile(server.Path("inside.txt"), "inside\n");
    EXPECT_EQ(RfaRename(link->handle(), "inside.txt", "../escaped.txt"), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(RfaRename(link->handle(), "inside.txt", "dir-out/escaped.txt"), RFA_ERR_PRIVILEGE);
    RfaProtectionRecord record{};
    record.present = RFA_PROT_WORLD;
    EXPECT_EQ(RfaProtection(link->handle(), "file-out", &record, 1), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(RfaDir(link->handle(), 0, "dir-out/*"), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(RfaDir(link->handle(), 0, "../*"), RFA_ERR_PRIVILEGE);
    ExpectOutsideUntouched();
    EXPECT_EQ(ReadFile(server.Path("inside.txt")), "inside\n");
}

class RecordEscapes : public Escapes {
protected:
    RecordEscapes() : Escapes("records") {}
};

TEST_F(RecordEscapes, BracketedNamesAboveTheRootAreAPrivilegeViolation) {
    std::unique_ptr<Link> link = Connect();
    for (const std::string name : {"[-]SECRET.TXT", "[-.X]SECRET.TXT", "[000000.-]SECRET.TXT", "FILE-OUT.;1",
                                   "[DIR-OUT]SECRET.TXT;1"}) {
        EXPECT_EQ(link->Download(name, Local("got"), RFA_MODE_IMAGE), RFA_ERR_PRIVILEGE) << name;
        ExpectStatus(*link, RFA_ERR_PRIVILEGE, kPrivilegeViolation, name);
    }
    EXPECT_EQ(link->Upload(Local("up.txt"), "[-]ESCAPED.TXT", RFA_MODE_TEXT), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(link->Upload(Local("up.txt"), "[DIR-OUT]NEW.TXT", RFA_MODE_TEXT), RFA_ERR_PRIVILEGE);
    ExpectOutsideUntouched();
}

class ReadOnlyServer : public Refusals {
protected:
    ReadOnlyServer() : Refusals("stream", {"--read-only"}) {}
};

TEST_F(ReadOnlyServer, RefusesAnUploadAndLeavesNothingBehind) {
    WriteFile(server.Path("existing.txt"), "old\n");
    WriteFile(Local("up.txt"), "new\n");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(link->Upload(Local("up.txt"), "new.txt", RFA_MODE_IMAGE), RFA_ERR_PRIVILEGE);
    ExpectStatus(*link, RFA_ERR_PRIVILEGE, kPrivilegeViolation, "upload");
    EXPECT_EQ(link->Upload(Local("up.txt"), "existing.txt", RFA_MODE_TEXT), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(DirectoryNames(server.root()), std::vector<std::string>{"existing.txt"});
    EXPECT_EQ(ReadFile(server.Path("existing.txt")), "old\n");
}

TEST_F(ReadOnlyServer, RefusesEveryChangeButServesReading) {
    WriteFile(server.Path("existing.txt"), "old\n");
    ASSERT_EQ(::mkdir(server.Path("dir").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(server.Path("existing.txt").c_str(), 0644), 0);
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaDelete(link->handle(), "existing.txt"), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(RfaRename(link->handle(), "existing.txt", "renamed.txt"), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(RfaMd(link->handle(), "made"), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(RfaRd(link->handle(), "dir"), RFA_ERR_PRIVILEGE);
    RfaProtectionRecord record{};
    record.present = RFA_PROT_WORLD;
    record.world = 0;
    EXPECT_EQ(RfaProtection(link->handle(), "existing.txt", &record, 1), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(DirectoryNames(server.root()), (std::vector<std::string>{"dir", "existing.txt"}));
    struct stat info {};
    ASSERT_EQ(::stat(server.Path("existing.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    ASSERT_EQ(link->Download("existing.txt", Local("copy.txt"), RFA_MODE_TEXT), RFA_OK);
    EXPECT_EQ(ReadFile(Local("copy.txt")), "old\n");
}

// A server whose files may not grow past 1 MiB (a limit its administrator
// set; a full disk is not to be had in a test): an upload that goes past it
// fails as "device full", the old target stays, and the server goes on.
class SizeLimitedServer : public Refusals {
protected:
    // zeld started by a shell that limits the size of the files it writes
    // (in blocks of 512 bytes).
    SizeLimitedServer() { server.SetLauncher({"/bin/sh", "-c", "ulimit -f 2048 && exec \"$@\"", "zeld"}); }
};

TEST_F(SizeLimitedServer, AnUploadPastTheLimitIsDeviceFullAndTheServerGoesOn) {
    WriteFile(server.Path("target.dat"), "old\n");
    WriteFile(Local("big.dat"), BinaryContent(size_t{4} << 20, 9));
    WriteFile(Local("small.dat"), "small\n");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(link->Upload(Local("big.dat"), "target.dat", RFA_MODE_IMAGE), RFA_ERR_DEVICE_FULL);
    ExpectStatus(*link, RFA_ERR_DEVICE_FULL, 0x00040097, "upload");
    EXPECT_EQ(DirectoryNames(server.root()), std::vector<std::string>{"target.dat"});
    EXPECT_EQ(ReadFile(server.Path("target.dat")), "old\n");
    // The same link, and a new one, are still served.
    EXPECT_EQ(link->Upload(Local("small.dat"), "small.dat", RFA_MODE_IMAGE), RFA_OK);
    std::unique_ptr<Link> other = Connect();
    ASSERT_EQ(other->Download("small.dat", Local("back.dat"), RFA_MODE_IMAGE), RFA_OK);
    EXPECT_EQ(ReadFile(Local("back.dat")), "small\n");
}

}  // namespace
}  // namespace e2etest
