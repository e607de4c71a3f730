// SPDX-License-Identifier: MIT
// Tests of the C# wrapper, run with mono against the Linux library: every
// call on built documents and on the corpus, checked against the command
// line's answers (the C library seen from another host); the exceptions with
// their exact messages; a non-ASCII path; many threads at once.
//   mono LeafturnTests.exe CLI CORPUS_DIR WORK_DIR
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Text;
using System.Threading.Tasks;
using Leafturn;

static class Tests
{
    static string Cli, Corpus, Work;
    static int passed, failed;

    static void Check(bool ok, string what)
    {
        if (ok) return;
        throw new Exception("check failed: " + what);
    }

    static void Equal<T>(T want, T got, string what)
    {
        if (!EqualityComparer<T>.Default.Equals(want, got))
            throw new Exception(what + ": want <" + want + ">, got <" + got + ">");
    }

    static void Throws(Action a, string message)
    {
        try
        {
            a();
        }
        catch (LeafturnException e)
        {
            Equal(message, e.Message, "message");
            return;
        }
        throw new Exception("no LeafturnException for: " + message);
    }

    // Runs the command-line tool; returns its standard output.
    static string Run(params string[] args)
    {
        var psi = new ProcessStartInfo(Cli)
        {
            UseShellExecute = false,
            RedirectStandardOutput = true,
            RedirectStandardError = true,
            StandardOutputEncoding = Encoding.UTF8,
        };
        psi.Arguments = string.Join(" ", args.Select(a => "\"" + a.Replace("\"", "\\\"") + "\""));
        using (var p = Process.Start(psi))
        {
            string output = p.StandardOutput.ReadToEnd();
            p.WaitForExit();
            return output;
        }
    }

    // The page rotations the command line reads, or null when it cannot.
    static List<int> CliRotations(string path)
    {
        string text = Run("info", path);
        // The seven exports refuse what the command line reads encrypted.
        if (!text.StartsWith("pages: ") || text.Contains("\nencryption: ")) return null;
        var r = new List<int>();
        foreach (string line in text.Split('\n'))
            if (line.StartsWith("page "))
                r.Add(int.Parse(line.Split(' ')[2]));
        return r;
    }

    // A catalog, a page tree with `extra` and n pages, classic table.
    static byte[] BuildPdf(int n, string pageExtra = "", string treeExtra = "")
    {
        var objs = new List<string> { "<</Type /Catalog /Pages 2 0 R>>" };
        objs.Add("<</Type /Pages /Kids [" + string.Join(" ", Enumerable.Range(3, n).Select(k => k + " 0 R")) +
                 "] /Count " + n + treeExtra + ">>");
        for (int k = 0; k < n; k++) objs.Add("<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]" + pageExtra + ">>");
        var sb = new StringBuilder("%PDF-1.4\n");
        var offsets = new List<int>();
        for (int k = 0; k < objs.Count; k++)
        {
            offsets.Add(sb.Length);
            sb.Append((k + 1) + " 0 obj\n" + objs[k] + "\nendobj\n");
        }
        int xref = sb.Length;
        sb.Append("xref\n0 " + (objs.Count + 1) + "\n0000000000 65535 f \n");
        foreach (int o in offsets) sb.Append(o.ToString("D10") + " 00000 n \n");
        sb.Append("trailer\n<</Size " + (objs.Count + 1) + " /Root 1 0 R>>\nstartxref\n" + xref + "\n%%EOF\n");
        return Encoding.ASCII.GetBytes(sb.ToString());
    }

    static string Write(string name, byte[] bytes)
    {
        string p = System.IO.Path.Combine(Work, name);
        File.WriteAllBytes(p, bytes);
        return p;
    }

    static void CallsOnABuiltDocument()
    {
        string input = Write("built.pdf", BuildPdf(5, "", " /Rotate 90"));
        string output = System.IO.Path.Combine(Work, "built-out.pdf");
        Equal(5, Pdf.PageCount(input), "page count");
        Equal(90, Pdf.GetRotation(input, 3), "inherited rotation");
        Pdf.RotateAll(input, output, 90);
        Equal("180,180,180,180,180", string.Join(",", CliRotations(output)), "all");
        Pdf.RotatePages(input, output, new[] { 1, 3, 3 }, 270);
        Equal("0,90,0,90,90", string.Join(",", CliRotations(output)), "pages");
        Pdf.RotatePage(input, output, 5, 180);
        Equal(270, Pdf.GetRotation(output, 5), "one page");
        Pdf.RotatePage(output, output, 5, 90);
        Equal(0, Pdf.GetRotation(output, 5), "in place");
        Pdf.RotatePages(input, output, new List<int> { 2 }.Where(p => p > 1), 90);
        Equal(180, Pdf.GetRotation(output, 2), "lazy sequence");
    }

    static void CorpusAgreesWithTheCommandLine()
    {
        int loaded = 0;
        foreach (string path in Directory.GetFiles(Corpus, "*.pdf").OrderBy(p => p, StringComparer.Ordinal))
        {
            List<int> want = CliRotations(path);
            if (want == null)
            {
                // The command line's message is the library's; the seven
                // exports refuse an encrypted file the document opens.
                string message = null;
                try { Pdf.GetRotation(path, 1); }
                catch (LeafturnException e) { message = e.Message; }
                Check(message != null && message.Length > 0, "a failure for " + path);
                if (Run("info", path).Contains("\nencryption: "))
                {
                    Equal("encrypted PDFs are not supported: " + path, message, "encrypted");
                    using (Document d = Document.Open(path)) Check(d.Encryption != null, "the document's encryption");
                }
                continue;
            }
            loaded++;
            Equal(want.Count, Pdf.PageCount(path), path + " pages");
            for (int p = 1; p <= want.Count; p++) Equal(want[p - 1], Pdf.GetRotation(path, p), path + " page " + p);
            string mine = System.IO.Path.Combine(Work, "corpus-mine.pdf");
            string theirs = System.IO.Path.Combine(Work, "corpus-cli.pdf");
            Pdf.RotateAll(path, mine, 90);
            Run("rotate", path, theirs, "--by", "90");
            Check(File.ReadAllBytes(mine).SequenceEqual(File.ReadAllBytes(theirs)), "same bytes for " + path);
        }
        Check(loaded > 20, "corpus files loaded: " + loaded);
    }

    static void DocumentsAskTurnAndSave()
    {
        string input = Write("doc.pdf", BuildPdf(4, "", " /Rotate 90"));
        string output = System.IO.Path.Combine(Work, "doc-out.pdf");
        using (Document doc = Document.Open(input))
        {
            Equal(4, doc.PageCount, "page count");
            PageFacts first = doc.Pages[0];
            Equal(90, first.Rotation, "rotation");
            Equal<int?>(null, first.OwnRotation, "own");
            Equal<int?>(90, first.InheritedRotation, "inherited");
            Equal<double?>(792, first.Width, "width");
            Equal("landscape", first.Orientation, "orientation");
            Equal(TextDirection.None, first.TextDirection, "no text");
            Equal(0, doc.Info.Count, "no information");
            Equal(0, doc.Signatures, "signatures");
            Equal(false, doc.Certified, "certified");
            Equal<string>(null, doc.UpdateRefusal, "an update is possible");
            Check(doc.Encryption == null, "not encrypted");
            Equal(2, doc.Rotate(90, "odd"), "odd by 90");
            Equal(2, doc.RotateTo(0, new[] { 1, 2, 2 }), "1 and 2 to 0");
            Equal(0, doc.Upright(), "no text to stand up");
            Equal("0,0,180,90", string.Join(",", doc.Pages.Select(p => p.Rotation)), "after the turns");
            Throws(() => doc.Rotate(45), "by takes 90, 180, 270, -90, -180 or -270 (got 45)");
            Throws(() => doc.Page(5), "page 5 out of range (document has 4 pages)");
            Throws(() => doc.Rotate(90, "9"), "page 9 out of range (document has 4 pages)");
            doc.Save(output, SaveMode.Incremental);
            byte[] full = doc.ToBytes(SaveMode.Full);
            Check(Encoding.ASCII.GetString(full, 0, 8) == "%PDF-1.4", "a fresh file");
            Throws(() => doc.Save("/no/such/folder/x.pdf", SaveMode.Full), "cannot write /no/such/folder/x.pdf");
        }
        Check(File.ReadAllBytes(output).Take(File.ReadAllBytes(input).Length).SequenceEqual(File.ReadAllBytes(input)),
              "an update keeps the input's bytes");
        Equal("0,0,180,90", string.Join(",", CliRotations(output)), "read back by the command line");
        using (Document doc = Document.FromBytes(File.ReadAllBytes(output), "mem.pdf"))
        {
            Equal(4, doc.PageCount, "from bytes");
            doc.Dispose();
            try { int n = doc.PageCount; throw new Exception("no ObjectDisposedException (" + n + ")"); }
            catch (ObjectDisposedException) { }
        }
        Throws(() => Document.FromBytes(Encoding.ASCII.GetBytes("junk"), "junk.pdf"), "no PDF objects found \u2014 not a PDF: junk.pdf");
        Throws(() => Document.Open(System.IO.Path.Combine(Work, "nope ü.pdf")), "cannot open " + System.IO.Path.Combine(Work, "nope ü.pdf"));
        try { Document.Open(null); throw new Exception("no ArgumentNullException"); }
        catch (ArgumentNullException) { }
    }

    static void FailuresCarryTheLibrarysMessages()
    {
        string input = Write("fail.pdf", BuildPdf(3));
        string missing = System.IO.Path.Combine(Work, "missing.pdf");
        string output = System.IO.Path.Combine(Work, "fail-out.pdf");
        Throws(() => Pdf.PageCount(missing), "cannot open " + missing);
        Throws(() => Pdf.GetRotation(input, 4), "page 4 out of range (document has 3 pages)");
        Throws(() => Pdf.GetRotation(input, 0), "page_number must be >= 1 (got 0)");
        Throws(() => Pdf.RotateAll(input, output, 45), "degrees must be 90, 180 or 270 (got 45)");
        Throws(() => Pdf.RotatePages(input, output, new int[0], 90), "page_count must be > 0");
        Throws(() => Pdf.RotatePages(input, output, new[] { 2, 9 }, 90), "page 9 out of range (document has 3 pages)");
        Throws(() => Pdf.RotatePage(input, "/no/such/folder/x.pdf", 1, 90), "cannot write /no/such/folder/x.pdf");
        string notPdf = Write("not.pdf", Encoding.ASCII.GetBytes("hello"));
        // The em dash arrives whole: UTF-8, not the ANSI code page.
        Throws(() => Pdf.PageCount(notPdf), "no PDF objects found \u2014 not a PDF: " + notPdf);
        string enc = Write("enc.pdf", Encoding.ASCII.GetBytes(
            Encoding.ASCII.GetString(BuildPdf(1)).Replace("/Root 1 0 R>>", "/Root 1 0 R /Encrypt 9 0 R>>")));
        Throws(() => Pdf.RotateAll(enc, output, 90), "encrypted PDFs are not supported: " + enc);
        try { Pdf.RotateAll(null, output, 90); throw new Exception("no ArgumentNullException"); }
        catch (ArgumentNullException) { }
        try { Pdf.RotatePages(input, output, null, 90); throw new Exception("no ArgumentNullException"); }
        catch (ArgumentNullException) { }
        Check(typeof(Exception).IsAssignableFrom(typeof(LeafturnException)), "derives from Exception");
    }

    static void NonAsciiPaths()
    {
        string folder = System.IO.Path.Combine(Work, "dossier été");
        Directory.CreateDirectory(folder);
        string input = System.IO.Path.Combine(folder, "ü中.pdf");
        File.WriteAllBytes(input, BuildPdf(2));
        string output = System.IO.Path.Combine(folder, "sortie ß.pdf");
        Pdf.RotateAll(input, output, 180);
        Equal(180, Pdf.GetRotation(output, 2), "non-ASCII output");
        Pdf.RotatePage(input, input, 1, 90);
        Equal(90, Pdf.GetRotation(input, 1), "non-ASCII in place");
        string missing = System.IO.Path.Combine(folder, "nicht da ü.pdf");
        Throws(() => Pdf.GetRotation(missing, 1), "cannot open " + missing);
    }

    static void ManyThreadsAtOnce()
    {
        const int n = 24;
        var inputs = Enumerable.Range(0, n).Select(k => Write("par" + k + ".pdf", BuildPdf(3 + k % 5, k % 2 == 0 ? " /Rotate 90" : ""))).ToArray();
        var expected = new byte[n][];
        for (int k = 0; k < n; k++)
        {
            string o = System.IO.Path.Combine(Work, "seq" + k + ".pdf");
            Pdf.RotatePages(inputs[k], o, new[] { 1, 2 }, 90 * (1 + k % 3));
            expected[k] = File.ReadAllBytes(o);
        }
        var errors = new System.Collections.Concurrent.ConcurrentBag<string>();
        Parallel.For(0, n * 4, new ParallelOptions { MaxDegreeOfParallelism = 8 }, j =>
        {
            int k = j % n;
            string o = System.IO.Path.Combine(Work, "par-out" + j + ".pdf");
            try
            {
                Pdf.RotatePages(inputs[k], o, new[] { 1, 2 }, 90 * (1 + k % 3));
                if (!File.ReadAllBytes(o).SequenceEqual(expected[k])) errors.Add("bytes of " + j);
                if (Pdf.PageCount(o) != 3 + k % 5) errors.Add("count of " + j);
                Pdf.GetRotation(o, 99);
                errors.Add("no failure for page 99 of " + j);
            }
            catch (LeafturnException e)
            {
                // Each thread reads its own call's message.
                string want = "page 99 out of range (document has " + (3 + k % 5) + " pages)";
                if (e.Message != want) errors.Add(j + ": " + e.Message);
            }
        });
        Check(errors.IsEmpty, string.Join("; ", errors));
    }

    static int Main(string[] args)
    {
        Cli = args[0];
        Corpus = args[1];
        Work = args[2];
        Directory.CreateDirectory(Work);
        var tests = new Dictionary<string, Action>
        {
            { "CallsOnABuiltDocument", CallsOnABuiltDocument },
            { "CorpusAgreesWithTheCommandLine", CorpusAgreesWithTheCommandLine },
            { "DocumentsAskTurnAndSave", DocumentsAskTurnAndSave },
            { "FailuresCarryTheLibrarysMessages", FailuresCarryTheLibrarysMessages },
            { "NonAsciiPaths", NonAsciiPaths },
            { "ManyThreadsAtOnce", ManyThreadsAtOnce },
        };
        foreach (KeyValuePair<string, Action> t in tests)
        {
            string name = t.Key;
            try
            {
                t.Value();
                passed++;
                Console.WriteLine("ok   " + name);
            }
            catch (Exception e)
            {
                failed++;
                Console.WriteLine("FAIL " + name + ": " + e.Message);
            }
        }
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}
