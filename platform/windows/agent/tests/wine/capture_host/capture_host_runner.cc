// The Windows-side parent of the capture host in end-to-end tests and figures. A Linux parent of a
// Wine process sees only the low 8 bits of its exit code and cannot hand it Windows pipes, so this
// program starts the capture host (or the engine directly) itself and reports what a Windows
// caller would see.
//
//   runner run --report FILE [--null-std-handles | --null-stdin] [--kill-when FILE] -- PROGRAM ...
//       Starts PROGRAM (and its arguments) with the runner's own standard handles (or null ones),
//       handle inheritance on, waits (terminating it with code 0xDEAD as soon as the --kill-when
//       file exists, if given), and writes to the report FILE the handles it passed and the full
//       32-bit exit code.
//   runner pipe --bytes N -- PROGRAM [ARG]...
//       Gives PROGRAM two pipes of the runner's own making as standard input and output (standard
//       error stays the runner's), writes N pseudo-random bytes into the first while reading the
//       second to its end, and prints whether the same bytes came back, how fast, and the exit
//       code.
//   runner launch-time N CAPTURE_HOST ENGINE
//       Starts "CAPTURE_HOST --capture --start-counter" and "ENGINE --start-counter" N times each,
//       interleaved, and prints the median, minimum and maximum time from the start call to the
//       counter the engine read at its entry.
//   runner alive [--wait MS] [--terminate] PID...
//       Waits up to MS milliseconds in all (default 5000) for each process to end and prints
//       "PID gone" or "PID alive"; --terminate then ends those still alive.
#include <windows.h>
// After windows.h, which it depends on.
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// Written apart from the program's own quote_argument, so that a fault there cannot cancel itself
// out on the way into the capture host.
std::wstring quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::wstring command_line_of(const std::vector<std::wstring>& program_and_args) {
  std::wstring line;
  for (const std::wstring& arg : program_and_args)
    line += (line.empty() ? L"" : L" ") + quoted(arg);
  return line;
}

int usage() {
  std::fputs("usage: capture_host_runner run|pipe|launch-time|alive ... (see the source)\n",
             stderr);
  return 2;
}

std::string hex32(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

std::string hex_handle(HANDLE handle) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
  return text;
}

double seconds_between(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency{};
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Child {
  HANDLE process = nullptr;
  DWORD error = 0;  // of CreateProcessW, when it failed
};

Child start(const std::vector<std::wstring>& program_and_args, HANDLE in, HANDLE out, HANDLE err) {
  std::wstring command_line = command_line_of(program_and_args);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION info{};
  Child child;
  if (!::CreateProcessW(program_and_args[0].c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                        nullptr, nullptr, &startup, &info)) {
    child.error = ::GetLastError();
    return child;
  }
  ::CloseHandle(info.hThread);
  child.process = info.hProcess;
  return child;
}

DWORD wait_for_exit(HANDLE process) {
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) code = 0xBAD0BAD0;
  ::CloseHandle(process);
  return code;
}

HANDLE own_inheritable(DWORD which) {
  HANDLE handle = ::GetStdHandle(which);
  ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return handle;
}

// A pipe of which the child inherits the read end (`child_reads`) or the write end.
struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
};
Pipe make_pipe(bool child_reads) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  Pipe pipe;
  if (!::CreatePipe(&pipe.read, &pipe.write, &inherit, 65536)) {
    std::fprintf(stderr, "CreatePipe failed: %lu\n", ::GetLastError());
    std::exit(2);
  }
  ::SetHandleInformation(child_reads ? pipe.write : pipe.read, HANDLE_FLAG_INHERIT, 0);
  return pipe;
}

std::string read_to_end(HANDLE handle, std::string& out, LARGE_INTEGER* first_byte = nullptr) {
  std::vector<char> buffer(65536);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) ||
        read == 0) {
      return out;
    }
    if (first_byte != nullptr && out.empty()) ::QueryPerformanceCounter(first_byte);
    out.append(buffer.data(), read);
  }
}

int run(const std::vector<std::wstring>& args) {
  std::wstring report_path;
  bool null_all = false, null_stdin = false;
  std::wstring kill_when;
  size_t i = 0;
  for (; i < args.size() && args[i] != L"--"; ++i) {
    if (args[i] == L"--report" && i + 1 < args.size()) {
      report_path = args[++i];
    } else if (args[i] == L"--null-std-handles") {
      null_all = true;
    } else if (args[i] == L"--null-stdin") {
      null_stdin = true;
    } else if (args[i] == L"--kill-when" && i + 1 < args.size()) {
      kill_when = args[++i];
    } else {
      return usage();
    }
  }
  if (report_path.empty() || i + 1 >= args.size()) return usage();
  const std::vector<std::wstring> program(args.begin() + static_cast<ptrdiff_t>(i) + 1, args.end());

  HANDLE in = null_all || null_stdin ? nullptr : own_inheritable(STD_INPUT_HANDLE);
  HANDLE out = null_all ? nullptr : own_inheritable(STD_OUTPUT_HANDLE);
  HANDLE err = null_all ? nullptr : own_inheritable(STD_ERROR_HANDLE);
  std::string report = "runner stdin=" + hex_handle(in) + " stdout=" + hex_handle(out) +
                       " stderr=" + hex_handle(err) + "\n";
  const Child child = start(program, in, out, err);
  if (child.process == nullptr) {
    report += "start-error=" + std::to_string(child.error) + "\n";
  } else {
    if (!kill_when.empty()) {
      // Polled: the file appears once the engine has started everything it is going to start.
      while (::GetFileAttributesW(kill_when.c_str()) == INVALID_FILE_ATTRIBUTES &&
             ::WaitForSingleObject(child.process, 20) == WAIT_TIMEOUT) {
      }
      // Wine 8 reports access denied here although the process does end, with this code: the
      // exit code 0xDEAD, not the call's result, shows that it was terminated.
      (void)::TerminateProcess(child.process, 0xDEAD);
    }
    report += "exit=" + hex32(wait_for_exit(child.process)) + "\n";
  }
  HANDLE file =
      ::CreateFileW(report_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  ::WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
  ::CloseHandle(file);
  return child.process == nullptr ? 2 : 0;
}

int pipe_through(const std::vector<std::wstring>& args) {
  if (args.size() < 4 || args[0] != L"--bytes" || args[2] != L"--") return usage();
  const size_t count = std::wcstoull(args[1].c_str(), nullptr, 10);
  const std::vector<std::wstring> program(args.begin() + 3, args.end());

  // Every byte value, line ends and end-of-file marks included, in no tidy pattern.
  std::string sent(count, '\0');
  uint32_t state = 0x9E3779B9u;
  for (char& byte : sent) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<char>(state >> 24);
  }

  Pipe input = make_pipe(/*child_reads=*/true);
  Pipe output = make_pipe(/*child_reads=*/false);
  const Child child = start(program, input.read, output.write, own_inheritable(STD_ERROR_HANDLE));
  // Only the child (and what it passes them on to) may hold these ends now, so that end of input
  // and end of output mean what they say.
  ::CloseHandle(input.read);
  ::CloseHandle(output.write);
  if (child.process == nullptr) {
    std::fprintf(stderr, "start failed: %lu\n", child.error);
    return 2;
  }
  std::thread writer([&] {
    DWORD written = 0;
    for (size_t done = 0; done < sent.size(); done += written) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(65536, sent.size() - done));
      if (!::WriteFile(input.write, sent.data() + done, chunk, &written, nullptr)) break;
    }
    ::CloseHandle(input.write);
  });
  std::string received;
  LARGE_INTEGER first{}, last{};
  read_to_end(output.read, received, &first);
  ::QueryPerformanceCounter(&last);
  writer.join();
  ::CloseHandle(output.read);
  const DWORD code = wait_for_exit(child.process);

  const double seconds = seconds_between(first, last);
  std::printf("bytes=%zu received=%zu identical=%s\n", sent.size(), received.size(),
              received == sent ? "yes" : "no");
  std::printf("seconds=%.4f bytes_per_second=%.0f\n", seconds,
              seconds > 0 ? static_cast<double>(received.size()) / seconds : 0.0);
  std::printf("exit=%s\n", hex32(code).c_str());
  return 0;
}

// One start: the seconds from just before CreateProcessW to the engine's first counter reading.
double one_launch_time(const std::vector<std::wstring>& program) {
  Pipe output = make_pipe(/*child_reads=*/false);
  LARGE_INTEGER before{};
  ::QueryPerformanceCounter(&before);
  const Child child = start(program, own_inheritable(STD_INPUT_HANDLE), output.write,
                            own_inheritable(STD_ERROR_HANDLE));
  ::CloseHandle(output.write);
  std::string text;
  read_to_end(output.read, text);
  ::CloseHandle(output.read);
  if (child.process == nullptr) return -1;
  wait_for_exit(child.process);
  LARGE_INTEGER entered{};
  if (std::sscanf(text.c_str(), "counter=%lld", &entered.QuadPart) != 1) return -1;
  return seconds_between(before, entered);
}

int launch_time(const std::vector<std::wstring>& args) {
  if (args.size() != 3) return usage();
  const int count = std::max(1, _wtoi(args[0].c_str()));
  const std::vector<std::wstring> capture_host = {args[1], L"--capture", L"--start-counter"};
  const std::vector<std::wstring> engine = {args[2], L"--start-counter"};
  std::vector<double> through_host, direct;
  for (int i = 0; i < count; ++i) {
    through_host.push_back(one_launch_time(capture_host));
    direct.push_back(one_launch_time(engine));
  }
  for (auto [name, times] :
       {std::pair{"capture_host", &through_host}, std::pair{"direct", &direct}}) {
    std::sort(times->begin(), times->end());
    if (times->front() < 0) {
      std::printf("%s failed\n", name);
      continue;
    }
    const size_t n = times->size();
    const double median = n % 2 ? (*times)[n / 2] : ((*times)[n / 2 - 1] + (*times)[n / 2]) / 2;
    std::printf("%s median_ms=%.1f min_ms=%.1f max_ms=%.1f n=%zu\n", name, median * 1000,
                times->front() * 1000, times->back() * 1000, n);
  }
  return 0;
}

int alive(const std::vector<std::wstring>& args) {
  DWORD wait_ms = 5000;
  bool terminate = false;
  size_t i = 0;
  for (; i < args.size() && args[i].rfind(L"--", 0) == 0; ++i) {
    if (args[i] == L"--wait" && i + 1 < args.size()) {
      wait_ms = static_cast<DWORD>(std::wcstoul(args[++i].c_str(), nullptr, 10));
    } else if (args[i] == L"--terminate") {
      terminate = true;
    } else {
      return usage();
    }
  }
  const ULONGLONG deadline = ::GetTickCount64() + wait_ms;
  for (; i < args.size(); ++i) {
    const DWORD pid = static_cast<DWORD>(std::wcstoul(args[i].c_str(), nullptr, 10));
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    bool gone = process == nullptr;
    if (!gone) {
      const ULONGLONG now = ::GetTickCount64();
      const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
      gone = ::WaitForSingleObject(process, left) == WAIT_OBJECT_0;
      if (!gone && terminate) ::TerminateProcess(process, 0xDEAD);
      ::CloseHandle(process);
    }
    std::printf("%lu %s\n", static_cast<unsigned long>(pid), gone ? "gone" : "alive");
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Reports end in a line feed alone, as the scripts that read them expect.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) return usage();
  const std::wstring command = argv[1];
  const std::vector<std::wstring> args(argv + 2, argv + argc);
  if (command == L"run") return run(args);
  if (command == L"pipe") return pipe_through(args);
  if (command == L"launch-time") return launch_time(args);
  if (command == L"alive") return alive(args);
  return usage();
}
