namespace velloran {}
