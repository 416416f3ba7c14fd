// Being written.
namespace mae {}
