#pragma once

// The drawing helper's system-call filter (seccomp, through libseccomp), installed once
// the helper has started (Qt's platform is up) and before it reads the request. Every
// call is allowed except these, which fail with an error the libraries handle like any
// refusal (EPERM unless said otherwise):
// - starting programs: execve, execveat (the helper is already running);
// - new processes: fork, vfork, clone without CLONE_THREAD (threads are allowed), and
//   clone3 (ENOSYS, so the C library falls back to clone, whose flags can be checked);
// - the network and local sockets: socket, socketpair, connect, bind, listen, accept,
//   accept4;
// - other processes: ptrace, process_vm_readv/writev, kill, tkill and tgkill aimed at
//   any process but the helper itself, pidfd_open, pidfd_send_signal, pidfd_getfd;
// - changing files: open/openat with write access, creation or truncation, creat,
//   openat2 (ENOSYS), unlink, rename, mkdir, rmdir, link, symlink, chmod, chown,
//   truncate, mknod, utimes and extended attributes, in all their forms;
// - the system: mount, umount2, pivot_root, chroot, unshare, setns, kexec, modules,
//   bpf, perf_event_open, keyctl and keys, userfaultfd, reboot, swapon/off, acct,
//   quotactl, setrlimit and prlimit64 (the limits set before exec stay).
// Returns false when the filter could not be installed.
bool installHelperSandbox();
