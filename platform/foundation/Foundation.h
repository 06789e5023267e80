// The object model, threads, files and dates of the Foundation stand-in.
