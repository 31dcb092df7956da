/* The first process of the ALSA guest (scripts/alsa-guest.sh): a User-Mode Linux kernel whose
   root file system is the host's own. It prepares the few file systems programs expect, runs
   one command as the host asked for it, hands back the command's exit status and powers off.

   The host describes the command in a run folder named by TARNOVELLE_GUEST_RUN (the kernel
   passes unknown name=value parameters of its command line to the first process):
       cwd       the working folder
       argv      the command and its arguments, each ended by a zero byte
       environ   the environment, NAME=value entries each ended by a zero byte
   and finds there afterwards:
       stdout, stderr   what the command wrote (the host streams them while it runs)
       status           the exit status as a decimal number, or 128 + the signal that ended it

   Kept in C and linked statically: a shell as init would cost seconds of program starts in
   the guest, where every system call is much slower than on the host. */

#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

enum
{
    statusOfInit = 125,
    maxEntries = 4096
};

static void complain (const char* what) { fprintf (stderr, "alsa-guest init: %s: %s\n", what, strerror (errno)); }

/* An init that returns panics the kernel: the guest always ends by powering off. */
static void powerOff (void)
{
    sync();
    reboot (RB_POWER_OFF);
    for (;;)
        pause();
}

static void mountFileSystem (const char* type, const char* target, const char* options, mode_t mode)
{
    mkdir (target, mode);

    if (mount (type, target, type, MS_NOSUID, options) != 0 && errno != EBUSY)
        complain (target);
}

/* The kernel makes the sound nodes readable by root only; any user may play here. */
static void openUpSoundNodes (void)
{
    DIR* folder = opendir ("/dev/snd");

    if (folder == NULL)
        return;

    for (struct dirent* entry; (entry = readdir (folder)) != NULL;)
    {
        if (entry->d_name[0] == '.')
            continue;

        char path[300];
        snprintf (path, sizeof path, "/dev/snd/%s", entry->d_name);
        chmod (path, 0666);
    }

    closedir (folder);
}

/* /tmp, /run and /dev/shm are the guest's own, so that nothing there reaches the host. */
static void prepareFileSystems (void)
{
    mountFileSystem ("proc", "/proc", NULL, 0555);
    mountFileSystem ("sysfs", "/sys", NULL, 0555);
    mountFileSystem ("devtmpfs", "/dev", "mode=0755", 0755);
    openUpSoundNodes();
    mountFileSystem ("devpts", "/dev/pts", "gid=5,mode=620,ptmxmode=666", 0755);
    mountFileSystem ("tmpfs", "/dev/shm", "mode=1777", 01777);
    mountFileSystem ("tmpfs", "/tmp", "mode=1777", 01777);
    mountFileSystem ("tmpfs", "/run", "mode=0755", 0755);
}

static char* readWholeFile (const char* folder, const char* name, size_t* size)
{
    char path[4096];
    snprintf (path, sizeof path, "%s/%s", folder, name);

    FILE* file = fopen (path, "rb");

    if (file == NULL)
        return NULL;

    size_t capacity = 4096, used = 0;
    char* data = malloc (capacity + 1);

    for (size_t got; data != NULL && (got = fread (data + used, 1, capacity - used, file)) > 0;)
    {
        used += got;

        if (used == capacity)
            data = realloc (data, (capacity *= 2) + 1);
    }

    fclose (file);

    if (data != NULL)
        data[used] = '\0';

    *size = used;
    return data;
}

/* Splits zero-ended entries into a null-terminated array. */
static char** splitEntries (char* data, size_t size)
{
    char** entries = calloc (maxEntries + 1, sizeof (char*));
    size_t count = 0;

    for (size_t i = 0; entries != NULL && i < size && count < maxEntries; i += strlen (data + i) + 1)
        entries[count++] = data + i;

    return entries;
}

static int openOutput (const char* folder, const char* name)
{
    char path[4096];
    snprintf (path, sizeof path, "%s/%s", folder, name);
    return open (path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

static void runCommand (const char* runFolder)
{
    size_t cwdSize = 0, argvSize = 0, environSize = 0;
    char* cwd = readWholeFile (runFolder, "cwd", &cwdSize);
    char* argvData = readWholeFile (runFolder, "argv", &argvSize);
    char* environData = readWholeFile (runFolder, "environ", &environSize);

    if (cwd == NULL || argvData == NULL || environData == NULL || argvSize == 0)
    {
        complain ("the run folder is incomplete");
        _exit (statusOfInit);
    }

    char** args = splitEntries (argvData, argvSize);
    char** environment = splitEntries (environData, environSize);
    int out = openOutput (runFolder, "stdout");
    int err = openOutput (runFolder, "stderr");
    int in = open ("/dev/null", O_RDONLY);

    if (out < 0 || err < 0 || in < 0 || dup2 (in, 0) < 0 || dup2 (out, 1) < 0 || dup2 (err, 2) < 0)
        _exit (statusOfInit);

    if (chdir (cwd) != 0)
    {
        fprintf (stderr, "alsa-guest: cannot enter %s: %s\n", cwd, strerror (errno));
        _exit (statusOfInit);
    }

    setsid();
    environ = environment;
    execvp (args[0], args);
    fprintf (stderr, "alsa-guest: cannot run %s: %s\n", args[0], strerror (errno));
    _exit (127);
}

/* As the first process, this one inherits every orphan: they are reaped until the command
   itself has ended. */
static int waitForCommand (pid_t command)
{
    for (;;)
    {
        int status = 0;
        const pid_t ended = wait (&status);

        if (ended == command)
            return WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);

        if (ended < 0 && errno != EINTR)
            return statusOfInit;
    }
}

/* Whatever the command left running (an X server, say) is ended before the power goes. */
static void endEverythingElse (void)
{
    kill (-1, SIGTERM);

    for (int tenths = 0; tenths < 20; ++tenths)
    {
        while (waitpid (-1, NULL, WNOHANG) > 0)
            ;

        if (kill (-1, 0) != 0 && errno == ESRCH)
            return;

        usleep (100000);
    }

    kill (-1, SIGKILL);

    while (wait (NULL) > 0)
        ;
}

/* Written under another name and renamed, so the host never reads half a number. */
static void writeStatus (const char* runFolder, int status)
{
    char path[4096], finalPath[4096];
    snprintf (path, sizeof path, "%s/status.part", runFolder);
    snprintf (finalPath, sizeof finalPath, "%s/status", runFolder);

    FILE* file = fopen (path, "w");

    if (file == NULL)
    {
        complain (path);
        return;
    }

    fprintf (file, "%d\n", status);
    fclose (file);

    if (rename (path, finalPath) != 0)
        complain (finalPath);
}

int main (void)
{
    const char* runFolder = getenv ("TARNOVELLE_GUEST_RUN");

    prepareFileSystems();

    if (runFolder == NULL)
    {
        fprintf (stderr, "alsa-guest init: TARNOVELLE_GUEST_RUN is not set\n");
        powerOff();
    }

    const pid_t command = fork();

    if (command == 0)
        runCommand (runFolder);

    const int status = command < 0 ? statusOfInit : waitForCommand (command);
    endEverythingElse();
    writeStatus (runFolder, status);
    powerOff();
    return 0;
}
