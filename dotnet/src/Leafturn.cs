// SPDX-License-Identifier: MIT
// The C# face of the leafturn library: its seven exported calls, with paths
// passed as UTF-8 on every platform, messages decoded as UTF-8, and one
// lock that keeps each call together with the read of its message.
using System;
using System.Collections.Generic;
using System.Linq;
using System.Runtime.InteropServices;
using System.Text;

namespace Leafturn
{
    /// <summary>
    /// A failure of the library: a file it refuses or cannot read, a page out
    /// of range, a write error. <see cref="Exception.Message"/> is the
    /// library's own text.
    /// </summary>
    [Serializable]
    public class LeafturnException : Exception
    {
        /// <summary>Creates the exception with the library's message.</summary>
        /// <param name="message">The text of the failure.</param>
        public LeafturnException(string message) : base(message) { }
    }

    /// <summary>
    /// Rotates pages of PDF files. Every call reads the whole input and
    /// writes a complete new file; the output path may name the input,
    /// which is then replaced atomically. Calls from several threads are
    /// safe: they run one at a time.
    /// </summary>
    public static class Pdf
    {
        private static readonly object Gate = new object();

        private static class Native
        {
            private const string Lib = "leafturn";

            [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
            public static extern IntPtr leafturn_last_error();

            [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
            public static extern int leafturn_get_rotation(byte[] inPath, int pageNumber);

            [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
            public static extern int leafturn_all(byte[] inPath, byte[] outPath, int degrees);

            [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
            public static extern int leafturn_pages(byte[] inPath, byte[] outPath, int[] pages,
                                                    int pageCount, int degrees);

            [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
            public static extern int leafturn_page(byte[] inPath, byte[] outPath, int pageNumber,
                                                   int degrees);
        }

        /// <summary>
        /// Turns every page of <paramref name="input"/> clockwise by
        /// <paramref name="degrees"/> (90, 180 or 270, added to each page's
        /// rotation) and writes <paramref name="output"/>.
        /// </summary>
        /// <param name="input">The PDF file to read.</param>
        /// <param name="output">The file to write; may be the input.</param>
        /// <param name="degrees">90, 180 or 270.</param>
        /// <exception cref="LeafturnException">The library failed; the message says why.</exception>
        /// <exception cref="ArgumentNullException">A path is null.</exception>
        public static void RotateAll(string input, string output, int degrees)
        {
            byte[] i = Path(input, "input"), o = Path(output, "output");
            lock (Gate)
            {
                if (Native.leafturn_all(i, o, degrees) != 1) throw Failure();
            }
        }

        /// <summary>
        /// Turns the listed pages (1-based; a page listed twice turns once)
        /// clockwise by <paramref name="degrees"/> and writes
        /// <paramref name="output"/>.
        /// </summary>
        /// <param name="input">The PDF file to read.</param>
        /// <param name="output">The file to write; may be the input.</param>
        /// <param name="pages">Page numbers, from 1.</param>
        /// <param name="degrees">90, 180 or 270.</param>
        /// <exception cref="LeafturnException">The library failed, a page is out of range, or
        /// no page was listed.</exception>
        /// <exception cref="ArgumentNullException">A path or the page list is null.</exception>
        public static void RotatePages(string input, string output, IEnumerable<int> pages, int degrees)
        {
            if (pages == null) throw new ArgumentNullException("pages");
            byte[] i = Path(input, "input"), o = Path(output, "output");
            int[] list = pages.ToArray();
            lock (Gate)
            {
                if (Native.leafturn_pages(i, o, list, list.Length, degrees) != 1) throw Failure();
            }
        }

        /// <summary>
        /// Turns one page (1-based) clockwise by <paramref name="degrees"/> and
        /// writes <paramref name="output"/>.
        /// </summary>
        /// <param name="input">The PDF file to read.</param>
        /// <param name="output">The file to write; may be the input.</param>
        /// <param name="page">The page number, from 1.</param>
        /// <param name="degrees">90, 180 or 270.</param>
        /// <exception cref="LeafturnException">The library failed; the message says why.</exception>
        /// <exception cref="ArgumentNullException">A path is null.</exception>
        public static void RotatePage(string input, string output, int page, int degrees)
        {
            byte[] i = Path(input, "input"), o = Path(output, "output");
            lock (Gate)
            {
                if (Native.leafturn_page(i, o, page, degrees) != 1) throw Failure();
            }
        }

        /// <summary>
        /// The effective rotation of one page: its own /Rotate, else the one it
        /// inherits from the page tree, in 0..359.
        /// </summary>
        /// <param name="path">The PDF file to read.</param>
        /// <param name="page">The page number, from 1.</param>
        /// <returns>Degrees clockwise, 0 to 359.</returns>
        /// <exception cref="LeafturnException">The library failed, or the page is out of range.</exception>
        /// <exception cref="ArgumentNullException">The path is null.</exception>
        public static int GetRotation(string path, int page)
        {
            byte[] p = Path(path, "path");
            lock (Gate)
            {
                int r = Native.leafturn_get_rotation(p, page);
                if (r < 0) throw Failure();
                return r;
            }
        }

        /// <summary>The number of pages of a PDF file (through <see cref="Document"/>: encrypted files are counted too).</summary>
        /// <param name="path">The PDF file to read.</param>
        /// <returns>The page count, 1 or more.</returns>
        /// <exception cref="LeafturnException">The library cannot read the file.</exception>
        /// <exception cref="ArgumentNullException">The path is null.</exception>
        public static int PageCount(string path)
        {
            if (path == null) throw new ArgumentNullException("path");
            using (Document d = Document.Open(path)) return d.PageCount;
        }

        // A path as the library takes it: NUL-terminated UTF-8.
        private static byte[] Path(string path, string name)
        {
            if (path == null) throw new ArgumentNullException(name);
            return DocNative.Utf8(path);
        }

        // The library's last-error text, read as UTF-8 (inside the lock).
        private static string LastError()
        {
            return DocNative.FromUtf8(Native.leafturn_last_error());
        }

        private static LeafturnException Failure()
        {
            return new LeafturnException(LastError());
        }
    }
}
