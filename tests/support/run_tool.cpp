#include "support/run_tool.h"

#include "common/file_io.h"
#include "process/child_process.h"
#include "support/tool_path.h"

std::string ReadConsoleFile(const std::string& path)
{
    std::string text = ReadWholeFile(path).value_or("");
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            plain += text[i];
    }
    return plain;
}

ToolRun RunTool(const TempDir& dir, const std::string& name, const std::vector<std::string>& args)
{
    ChildProcess child;
    child.SetOutputFiles(dir.File(name + ".out"), dir.File(name + ".err"));
    ToolRun run;
    if (!child.Start(ToolPath(name), args))
        return run;
    run.status = child.Wait(30000);
    run.out = ReadConsoleFile(dir.File(name + ".out"));
    run.err = ReadConsoleFile(dir.File(name + ".err"));
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        const std::size_t cr = end > start && text[end - 1] == '\r' ? 1 : 0;
        lines.push_back(text.substr(start, end - start - cr));
        start = end + 1;
    }
    return lines;
}
