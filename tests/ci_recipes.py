#!/usr/bin/env python3
"""Runs docs/ci.md's recipes word for word in a fresh git repository.

Each recipe is a fenced block after a "<!-- recipe: NAME -->" line. The shell lines of every
`run:` (GitHub) and `script:` (GitLab) block and of the "record" block are run with bash, as
the CI systems run them, in a repository made here; the pre-commit block becomes the
repository's .pre-commit-config.yaml and runs with pre-commit. What a CI system gives (its
variables, the package install) is replaced from the fixed table below.

Usage: ci_recipes.py SOURCE_ROOT BUILD_FOLDER
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

import yaml

ROOT, BUILD = sys.argv[1], os.path.abspath(sys.argv[2])
PACKAGE = "kavel-report_1.1.0_amd64.deb"
failures = []


def fail(what):
    failures.append(what)
    print("FAIL: " + what, file=sys.stderr)


def recipes():
    text = open(os.path.join(ROOT, "docs", "ci.md"), encoding="utf-8").read()
    found = {}
    for m in re.finditer(r"<!-- recipe: ([\w-]+) -->\n```(\w+)\n(.*?)```", text, re.S):
        found[m.group(1)] = (m.group(2), m.group(3))
    return found


def install_line(line):
    """The package's install, as this machine can do it: the built package with dpkg when
    root, else nothing (kavel-report is on PATH from the build folder)."""
    if "apt-get update" in line and "install" not in line:
        return "true"
    if "apt-get install" in line:
        if os.geteuid() != 0:
            print("ci recipes: not root, the package's install is skipped: " + line.strip())
        elif not os.path.exists(os.path.join(BUILD, PACKAGE)):
            print("ci recipes: no package built in %s, its install is skipped" % BUILD)
        else:
            return "dpkg -i ./ci/" + PACKAGE + " >/dev/null"
        return "true"
    return line


def run(name, script, env, want):
    lines = [install_line(line) for line in script.splitlines()]
    result = subprocess.run(["bash", "-e", "-c", "\n".join(lines)], cwd=env["REPO"], env=env,
                            capture_output=True, text=True)
    if result.returncode not in want:
        fail("%s: exit %d, not %s\n%s%s" % (name, result.returncode, want, result.stdout,
                                            result.stderr))
    return result


def git(repo, *args):
    subprocess.run(["git", "-C", repo] + list(args), check=True, capture_output=True)


def sarif_results(path, out):
    """The places of a SARIF log's results, which must all be new (the log of a run with a
    baseline holds no other)."""
    with open(path, encoding="utf-8") as log:
        results = json.load(log)["runs"][0]["results"]
    for r in results:
        if r.get("baselineState") != "new":
            fail("a SARIF result that is not new: %s" % r)
    return ["%s:%d" % (r["locations"][0]["physicalLocation"]["artifactLocation"]["uri"],
                       r["locations"][0]["physicalLocation"]["region"]["startLine"])
            for r in results]


def unescape(text, prop):
    pairs = [("%0D", "\r"), ("%0A", "\n"), ("%25", "%")]
    if prop:
        pairs += [("%3A", ":"), ("%2C", ",")]
    return re.sub("|".join(p for p, _ in pairs), lambda m: dict(pairs)[m.group(0)], text)


def annotations(path, out):
    """The warnings in a step's log, read as the runner reads workflow commands."""
    found = []
    for line in re.split(r"\r\n|\r|\n", out):
        m = re.match(r"::(\w+) ([^:]*)::(.*)$", line)
        if not line or not m:
            if line:
                fail("not a workflow command: %r" % line)
            continue
        props = dict(p.split("=", 1) for p in m.group(2).split(","))
        props = {k: unescape(v, True) for k, v in props.items()}
        if m.group(1) != "warning" or not unescape(m.group(3), False).startswith("Potential"):
            fail("not a warning of a hit: %r" % line)
        found.append("%s:%s" % (props["file"], props["line"]))
    return found


def code_quality(path, out):
    """The issues of a GitLab Code Quality report, read by a strict JSON parser."""
    with open(path, encoding="utf-8") as report:
        issues = json.load(report, parse_constant=lambda c: fail("JSON constant " + c))
    for issue in issues:
        if sorted(issue) != ["check_name", "description", "fingerprint", "location", "severity"]:
            fail("an issue with other members: %s" % issue)
    return ["%s:%d" % (i["location"]["path"], i["location"]["lines"]["begin"]) for i in issues]


def run_job(job, scripts, env, hit, path, reader):
    """Runs a job's steps and reads what it leaves as its consumer does: after a hit the one new
    result is on src/notes.txt and the last step fails; else there is none and no step fails."""
    for i, script in enumerate(scripts):
        last = i == len(scripts) - 1
        result = run("%s step %d%s" % (job, i + 1, " after a hit" if hit else ""), script, env,
                     [1 if hit and last else 0])
    lines = reader(path, result.stdout)
    if hit and (len(lines) != 1 or not lines[0].startswith("src/notes.txt:")):
        fail("%s: new results after a hit: %s" % (job, lines))
    if not hit and lines:
        fail("%s: new results with no hit: %s" % (job, lines))
    if path:
        os.remove(path)


def main():
    found = recipes()
    for name in ("record", "github", "github-annotations", "gitlab", "pre-commit",
                 "github-pull-request", "gitlab-merge-request", "pre-commit-changed"):
        if name not in found:
            fail("docs/ci.md has no recipe " + name)
    if failures:
        return 1
    work = tempfile.mkdtemp()
    try:
        repo = os.path.join(work, "repo")
        os.makedirs(os.path.join(repo, "ci"))
        os.makedirs(os.path.join(repo, "src"))
        for name in os.listdir(os.path.join(ROOT, "examples", "src")):
            shutil.copy(os.path.join(ROOT, "examples", "src", name), os.path.join(repo, "src"))
        shutil.copy(os.path.join(ROOT, "examples", "y2k.str"), os.path.join(repo, "ci", "y2k.str"))
        deb = os.path.join(BUILD, PACKAGE)
        if os.path.exists(deb):
            shutil.copy(deb, os.path.join(repo, "ci"))
        else:
            # A stand-in, binary as a package is (pre-commit checks text only), with a hit.
            open(os.path.join(repo, "ci", PACKAGE), "wb").write(b"\0\x8b" + b"19" * 64)
        open(os.path.join(repo, "clean.txt"), "w").write("nothing to see\n")
        open(os.path.join(repo, "-notes.txt"), "w").write("a note\n")
        git(repo, "init", "-q", "-b", "main")
        git(repo, "config", "user.email", "ci@example.invalid")
        git(repo, "config", "user.name", "CI")
        git(repo, "add", "-A")
        git(repo, "commit", "-q", "-m", "first")

        runner_temp = os.path.join(work, "runner-temp")
        os.makedirs(runner_temp)
        env = dict(os.environ, REPO=repo, RUNNER_TEMP=runner_temp, CI="true",
                   PATH=BUILD + os.pathsep + os.environ["PATH"])
        env.pop("GIT_DIR", None)

        run("record", found["record"][1], env, [0])
        git(repo, "commit", "-q", "-m", "baseline")

        # Each job's steps, and how its consumer reads what the job leaves: code scanning the
        # SARIF log, the runner the last step's log, GitLab the Code Quality report.
        jobs = {}
        for job in ("github", "github-annotations"):
            steps = yaml.safe_load(found[job][1])["jobs"]["kavel"]["steps"]
            jobs[job] = [s["run"] for s in steps if "run" in s]
        gitlab = yaml.safe_load(found["gitlab"][1])["kavel"]
        jobs["gitlab"] = gitlab["script"]
        quality = gitlab["artifacts"]["reports"]["codequality"]
        readers = {"github": (os.path.join(runner_temp, "kavel.sarif"), sarif_results),
                   "github-annotations": (None, annotations),
                   "gitlab": (os.path.join(repo, quality), code_quality)}
        for hit in (False, True):
            if hit:
                with open(os.path.join(repo, "src", "notes.txt"), "a") as notes:
                    notes.write("The year is 99.\n")
            for job, scripts in jobs.items():
                run_job(job, scripts, env, hit, *readers[job])
        git(repo, "checkout", "-q", "--", "src/notes.txt")

        # The pull and merge request jobs: a topic branch against main, fetched from an origin.
        # Lines that held hits before (src/notes.txt has some) are no part of the change.
        subprocess.run(["git", "clone", "-q", "--bare", repo, os.path.join(work, "origin.git")],
                       check=True, capture_output=True)
        git(repo, "remote", "add", "origin", os.path.join(work, "origin.git"))
        git(repo, "fetch", "-q", "origin")
        git(repo, "checkout", "-q", "-b", "topic")
        steps = yaml.safe_load(found["github-pull-request"][1])["jobs"]["kavel"]["steps"]
        if steps[0].get("with", {}).get("fetch-depth") != 0:
            fail("github-pull-request: the checkout does not fetch the history")
        gitlab = yaml.safe_load(found["gitlab-merge-request"][1])["kavel-changed"]
        if str(gitlab.get("variables", {}).get("GIT_DEPTH")) != "0":
            fail("gitlab-merge-request: the clone is shallow")
        request_jobs = {"github-pull-request": ([s["run"] for s in steps if "run" in s],
                                                "GITHUB_BASE_REF", None, annotations),
                        "gitlab-merge-request": (gitlab["script"],
                                                 "CI_MERGE_REQUEST_TARGET_BRANCH_NAME",
                                                 os.path.join(repo, gitlab["artifacts"]["reports"]
                                                              ["codequality"]), code_quality)}
        for hit in (False, True):
            if hit:
                with open(os.path.join(repo, "src", "notes.txt"), "a") as notes:
                    notes.write("fine\nThe year is 99.\n")
                git(repo, "commit", "-q", "-am", "a hit")
            for job, (scripts, variable, path, reader) in request_jobs.items():
                run_job(job, scripts, dict(env, **{variable: "main"}), hit, path, reader)
                # Outside a request the variable is not set: the job says so and fails.
                unset = dict(env)
                unset.pop(variable, None)
                run("%s without %s" % (job, variable), "\n".join(scripts), unset,
                    list(range(1, 256)))
        git(repo, "checkout", "-q", "main")

        # The hook: on the files given (a name like an option, the strings file, a clean file),
        # then on every file, and on a staged hit.
        with open(os.path.join(repo, ".pre-commit-config.yaml"), "w") as config:
            config.write(found["pre-commit"][1])
        hook = yaml.safe_load(found["pre-commit"][1])["repos"][0]["hooks"][0]
        direct = [hook["entry"]] + [str(a) for a in hook["args"]]
        files = ["-notes.txt", "ci/y2k.str", "clean.txt"]
        result = subprocess.run(direct + files, cwd=repo, env=env, capture_output=True, text=True)
        if result.returncode != 0 or "left out (the strings file)" not in result.stderr:
            fail("hook's command on %s: exit %d\n%s" % (files, result.returncode, result.stderr))
        if shutil.which("pre-commit"):
            git(repo, "add", ".pre-commit-config.yaml")
            home = os.path.join(work, "pre-commit-home")
            hook_env = dict(env, PRE_COMMIT_HOME=home)
            # Every tracked file: -notes.txt and the strings file among them.
            result = subprocess.run(["pre-commit", "run", "--all-files"], cwd=repo, env=hook_env,
                                    capture_output=True, text=True)
            if result.returncode != 0:
                fail("pre-commit run --all-files: exit %d\n%s%s" % (result.returncode,
                                                                  result.stdout, result.stderr))
            with open(os.path.join(repo, "clean.txt"), "a") as clean:
                clean.write("DATE 19\n")
            git(repo, "add", "clean.txt")
            result = subprocess.run(["pre-commit", "run"], cwd=repo, env=hook_env,
                                    capture_output=True, text=True)
            if result.returncode != 1 or "clean.txt:2:DATE 19" not in result.stdout:
                fail("pre-commit on a staged hit: exit %d\n%s" % (result.returncode, result.stdout))
            # Changed lines only: the staged hit fails the commit, the old hits of a file
            # staged with another change do not.
            git(repo, "reset", "-q", "--hard")
            with open(os.path.join(repo, ".pre-commit-config.yaml"), "w") as config:
                config.write(found["pre-commit-changed"][1])
            with open(os.path.join(repo, "src", "notes.txt"), "a") as notes:
                notes.write("fine\n")
            with open(os.path.join(repo, "clean.txt"), "a") as clean:
                clean.write("DATE 19\n")
            git(repo, "add", ".pre-commit-config.yaml", "clean.txt", "src/notes.txt")
            result = subprocess.run(["pre-commit", "run"], cwd=repo, env=hook_env,
                                    capture_output=True, text=True)
            found_lines = [l for l in result.stdout.splitlines() if re.match(r"^\S+:\d+:", l)]
            if result.returncode != 1 or found_lines != ["clean.txt:2:DATE 19"]:
                fail("pre-commit on changed lines: exit %d\n%s" % (result.returncode,
                                                                 result.stdout))
        else:
            print("ci recipes: pre-commit is not installed; its run is skipped")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("ci recipes: %d failed" % len(failures))
    return 1 if failures else 0


sys.exit(main())
